# Cross build for the handheld (ARM920T) with Debian's g++-arm-linux-gnueabi.
#
# Our own code is compiled for the ARM920T; executables are linked statically
# so they run on the device and under qemu-arm without a library folder.
# VEXA_ARM_DEPS names a folder holding the ARM zlib (usr/include/zlib.h,
# usr/lib/arm-linux-gnueabi/libz.a), as the Makefile unpacks it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(VEXA_TARGET_FLAGS "-march=armv4t -mtune=arm920t" CACHE STRING "Flags for our own code on the handheld")

# Debian's ARM C and C++ libraries need ARMv5TE: the ARM926 is the oldest CPU
# that runs them under emulation.
find_program(VEXA_QEMU_ARM qemu-arm)
if(VEXA_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXA_QEMU_ARM} -cpu arm926)
endif()

set(VEXA_ARM_DEPS "" CACHE PATH "Folder with the ARM zlib headers and library")
if(VEXA_ARM_DEPS)
  set(ZLIB_INCLUDE_DIR ${VEXA_ARM_DEPS}/usr/include CACHE PATH "" FORCE)
  set(ZLIB_LIBRARY ${VEXA_ARM_DEPS}/usr/lib/arm-linux-gnueabi/libz.a CACHE FILEPATH "" FORCE)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi ${VEXA_ARM_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
