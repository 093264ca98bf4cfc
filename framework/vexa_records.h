// vexa_records.h - the framework's shared records and entry support: the geometry
// records of every drawing and input call, the configuration the application
// fills, the button roles, the module record through which every module and
// surface reaches the others, the device globals of the process entry, and
// the program folder that the file module resolves relative names against.
//
// Depends on: nothing (the modules are only named here).
#pragma once

#include <cstdint>

class ClassVDisplay;
class ClassVSound;
class ClassVInput;
class ClassVVTimer;
class ClassVFile;
class ClassVIni;
class ClassVMemory;
class ClassVMath;
class ClassVDevice;
class ClassVConsole;

constexpr int VEXA_PATHMAX = 256;        // wide characters of a GetPath buffer, zero included
constexpr int VEXA_MAXCONNECTIONS = 16;  // network connection slots of the module record

// A rectangle; right and bottom are exclusive.
struct tagRECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct tagPOINT {
  int32_t x;
  int32_t y;
};

// The start-up record the process entry fills; the framework keeps a copy.
constexpr int VEXA_CMDLINESIZE = 4108;   // bytes of the command line, zero included
struct VEXADATA {
  uint32_t spare0;
  int32_t launchparam;                   // handed to OnInit, OnDisplayInit and OnExit
  char16_t appname[VEXA_PATHMAX];        // "Untitled"
  char16_t apppath[VEXA_PATHMAX];        // program folder and "/"
  uint8_t spare1[512];
  char cmdline[VEXA_CMDLINESIZE];        // always empty: no command line is read
};

// The framework's configuration, filled by the application's OnCreate.
struct VEXACONFIG {
  uint32_t reserved0;
  uint32_t reserved1;
  uint32_t maxfps;           // frame-rate lock in frames per second; 0 = no lock
  uint32_t dspflags;         // VEXA_DSPFLAG_ bits
  uint32_t width;            // requested screen width in pixels
  uint32_t height;           // requested screen height in pixels
  uint32_t reserved2;
  uint32_t reserved3;
  uint8_t drivervideotype;   // video type handed to the display's Open
  uint8_t videotype;         // requested render mode (32 = the framebuffer's own)
  uint8_t orientation;       // display rotation code 0..5 (6 = system rotation)
  uint8_t numconnections;    // network connection objects to create (at most 16)
  uint8_t reserved4;
  uint8_t reserved5;
  uint8_t surfacetype;       // default surface type of the back buffer
  uint8_t idlesleep;         // a frame without time to wait still sleeps 1 ms
  uint8_t reserved6;
  uint8_t reserved7;
  uint8_t reserved8;
  uint8_t fullscreen;        // always 1 after the configuration check
  uint8_t reserved9;
  uint8_t reserved10;
  uint8_t suspendinactive;   // suspend the display while the application is inactive
  uint8_t reserved11;
  uint8_t reserved12;
};

// Display flags of VEXACONFIG::dspflags.
constexpr uint32_t VEXA_DSPFLAG_NOFLIP = 0x1;      // the framework does not flip after each frame
constexpr uint32_t VEXA_DSPFLAG_WAITVBLANK = 0x4;  // wait for the vertical blank before copying
constexpr uint32_t VEXA_DSPFLAG_NOFONT = 0x8;      // build no internal font
constexpr uint32_t VEXA_DSPFLAG_BACKFLIP = 0x10;   // copy the screen into the back buffer at open
constexpr uint32_t VEXA_DSPFLAG_NOTILT = 0x20;     // do not start the tilt emulator

// Which button code plays which role (31 entries).
struct VBUTTONLIST {
  uint32_t buttona;
  uint32_t buttonb;
  uint32_t buttonc;
  uint32_t buttonstart;
  uint32_t dirup;
  uint32_t dirdown;
  uint32_t dirleft;
  uint32_t dirright;
  uint32_t unused0[2];
  uint32_t buttonl;
  uint32_t buttonr;
  uint32_t unused1[19];
};
static_assert(sizeof(VBUTTONLIST) == 31 * 4, "VBUTTONLIST has 31 entries");

// The module record: how modules and surfaces reach each other.
struct VCD {
  ClassVDisplay* display;
  ClassVSound* sound;
  ClassVInput* input;
  ClassVVTimer* vtimer;
  ClassVFile* file;
  ClassVIni* ini;
  ClassVMemory* memory;
  ClassVMath* math;
  ClassVDevice* device;
  ClassVConsole* console;
  void* connections[VEXA_MAXCONNECTIONS];  // network connection objects (none on this target)
  VEXACONFIG* config;
  VEXADATA* data;
};

// Device globals, owned by the process entry: the descriptors of the memory
// and framebuffer devices (0 = not open) and the mapped register window.
constexpr int VEXA_DEVICE_MEM = 0;  // vdeviceptr index of "/dev/mem"
constexpr int VEXA_DEVICE_FB = 1;   // vdeviceptr index of "/dev/fb0"
extern int vdeviceptr[2];
extern volatile uint32_t* vdevicereg_ptr;
extern volatile uint16_t* vdevicereg_ptr16;

void GetPath(char16_t* path);     // current working directory and "/" ("/" when unreadable)
