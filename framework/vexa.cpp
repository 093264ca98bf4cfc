// vexa.cpp - the framework object: start-up with the configuration check,
// the application status machine, the frame loop with its frame-rate lock
// and statistics, the button poll, messages and the log file; and the
// process's device globals and program folder.
//
// Depends on: every module, resources/loaders (RegisterDisplayLoaders),
// platform/platform.h (registers, clock, the front end's requests).
#include "framework/vexa.h"

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/platform.h"
#include "resources/loaders/vldr_base.h"
#include "util/vmod_std.h"

int vdeviceptr[2] = {0, 0};
volatile uint32_t* vdevicereg_ptr = nullptr;
volatile uint16_t* vdevicereg_ptr16 = nullptr;

namespace {

constexpr uint32_t INACTIVE_SLEEP_US = 100000;    // a pass without a frame
constexpr uint32_t FRAME_LOCK_WRAP_US = 10000000; // accumulators are kept below this
constexpr uint32_t STATISTICS_PERIOD_MS = 500;
constexpr int32_t LOG_MAXLENGTH = 16384;
constexpr int32_t WIDEN_BUFFER = 256;             // wide and 8-bit texts up to this go through the stack
constexpr int32_t TILT_STEP = 64;                 // tilt value of one held direction

// The stick reports a diagonal as one bit of its own that some boards set
// together with a neighbour; these are the bytes such a board reads.
uint8_t CorrectStickDiagonal(uint8_t stick) {
  switch (stick) {
    case 0xFD: return 0xFA;
    case 0xF7: return 0xEB;
    case 0xDF: return 0xAF;
    case 0x7F: return 0xBE;
    default: return stick;
  }
}

void StoreWordMsbFirst(uint8_t* bytes, uint32_t word) {
  for (int i = 0; i < 4; i++) bytes[i] = uint8_t(word >> (24 - 8 * i));
}

uint32_t LoadWordMsbFirst(const uint8_t* bytes) {
  return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

// Appends up to LOG_MAXLENGTH characters of text (and the line end) to file.
void AppendToLog(const char* file, const char* text, bool newline) {
  std::FILE* log = std::fopen(file, "ab");
  if (!log) return;
  std::fwrite(text, 1, size_t(ClassVStd::StrLen(text, LOG_MAXLENGTH)), log);
  if (newline) std::fwrite("\r\n", 1, 2, log);
  std::fclose(log);
}

}  // namespace

void GetPath(char16_t* path) {
  // One character short of the buffer, so the "/" that follows still fits;
  // a longer folder fails getcwd and counts as unreadable.
  char folder[VEXA_PATHMAX - 1];
  path[0] = u'\0';
  if (getcwd(folder, sizeof folder) != nullptr) {
    ClassVStd::StrCpy(path, folder, VEXA_PATHMAX);
  }
  int32_t length = ClassVStd::StrLen(path, VEXA_PATHMAX);
  // The root already ends in its separator.
  if (length == 0 || path[length - 1] != u'/') {
    path[length++] = u'/';
    path[length] = u'\0';
  }
}

// --- the devices ------------------------------------------------------------------

namespace {

void CloseDevices() {
  if (vdevicereg_ptr) Platform_Munmap(const_cast<uint32_t*>(vdevicereg_ptr), PLATFORM_REGISTER_SIZE);
  vdevicereg_ptr = nullptr;
  vdevicereg_ptr16 = nullptr;
  for (int& fd : vdeviceptr) {
    if (fd > 0) Platform_Close(fd);
    fd = 0;
  }
}

// Open returns -1 on failure; the globals keep 0 for "not open".
int OpenDevice(const char* path) {
  const int fd = Platform_Open(path, O_RDWR);
  return fd > 0 ? fd : 0;
}

}  // namespace

volatile uint32_t* HandleDevicePtr(bool close) {
  if (close) {
    CloseDevices();
    return nullptr;
  }
  vdevicereg_ptr = nullptr;
  vdevicereg_ptr16 = nullptr;
  vdeviceptr[VEXA_DEVICE_MEM] = OpenDevice("/dev/mem");
  vdeviceptr[VEXA_DEVICE_FB] = OpenDevice("/dev/fb0");
  if (!vdeviceptr[VEXA_DEVICE_MEM] || !vdeviceptr[VEXA_DEVICE_FB]) {
    CloseDevices();
    return nullptr;
  }
  void* window = Platform_Mmap(PLATFORM_REGISTER_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED,
                               vdeviceptr[VEXA_DEVICE_MEM], off_t(PLATFORM_REGISTER_BASE));
  // A failed map is MAP_FAILED, not null: without this the poll would read through it.
  if (window == MAP_FAILED || window == nullptr) {
    CloseDevices();
    return nullptr;
  }
  vdevicereg_ptr = static_cast<volatile uint32_t*>(window);
  vdevicereg_ptr16 = static_cast<volatile uint16_t*>(window);
  return vdevicereg_ptr;
}

// --- construction -------------------------------------------------------------

ClassVexa::ClassVexa(const VEXADATA* startup) {
  if (startup) data = *startup;
}

ClassVexa::~ClassVexa() {
  // A run that ended through the exit steps has closed both already; these
  // make sure no surface outlives the memory module destroyed before the display.
  sound.Close();
  display.Close();
  FreeRecordings();
  std::memset(devicesettings, 0, sizeof devicesettings);
}

// --- default event handlers ------------------------------------------------------

int ClassVexa::OnCreate(VEXACONFIG*, VEXADATA*) { return 0; }
int ClassVexa::OnInit(int) { return 0; }
int ClassVexa::OnMinimize() { return 0; }
int ClassVexa::OnRestore() { return 0; }
int ClassVexa::OnPluginLoad(ClassVDisplay*) { return 0; }
int ClassVexa::OnDisplayInit(int, ClassVDisplay*) { return 0; }
int ClassVexa::OnNextFrame(ClassVDisplay*, unsigned long) { return 0; }
int ClassVexa::OnExit(int launchparam) { return launchparam; }
void ClassVexa::OnButtonDown(unsigned long, VBUTTONLIST*) {}
void ClassVexa::OnButtonUp(unsigned long, VBUTTONLIST*) {}
void ClassVexa::OnWheel(long) {}
void ClassVexa::OnStylusUp(tagPOINT) {}
void ClassVexa::OnStylusDown(tagPOINT) {}
void ClassVexa::OnStylusDouble(tagPOINT) {}
void ClassVexa::OnStylusMove(tagPOINT) {}
void ClassVexa::OnDeviceTilt(long, long) {}
int ClassVexa::OnMessage(int*, unsigned int, long, long) { return 0; }
void ClassVexa::OnNetMessage(unsigned char, long, long, long, unsigned char*) {}

// --- start-up -----------------------------------------------------------------------

ClassVexa* ClassVexa::Start() {
  StartFramework();
  return this;
}

void ClassVexa::Init() {
  config = VEXACONFIG{};
  config.maxfps = 60;
  config.width = 240;
  config.height = 320;
  config.drivervideotype = VideoType::DisplayDefault;
  config.videotype = VideoType::DisplayDefault;
  config.numconnections = 1;
  config.surfacetype = 1;
  config.idlesleep = 1;
  config.reserved6 = config.reserved7 = config.reserved8 = 1;
  config.fullscreen = 1;
  config.reserved10 = 1;
  config.suspendinactive = 1;
  config.reserved11 = config.reserved12 = 1;

  vcd = VCD{};
  vcd.display = &display;
  vcd.sound = &sound;
  vcd.input = &input;
  vcd.vtimer = &vtimer;
  vcd.file = &file;
  vcd.ini = &ini;
  vcd.memory = &memory;
  vcd.math = &math;
  vcd.device = &device;
  vcd.console = &console;
  vcd.config = &config;
  vcd.data = &data;

  status = VEXA_STATUS_STARTING;
  fps100 = framecount = lastsample = 0;
  targettime = actualtime = stepremainder = 0;
  std::memset(previousbuttons, 0, sizeof previousbuttons);
  StoreWordMsbFirst(previousbuttons, 0xFFFFFFFFu);
  speednormal = speedslow = speedfast = 0;
  for (void*& connection : connections) connection = nullptr;
  FreeRecordings();
  window = nullptr;
  tilt = TILTEMULATOR{};
}

int ClassVexa::Check() {
  if (config.orientation == 6) config.orientation = uint8_t(ClassVDisplay::GetSystemRotation());
  const char* failure = nullptr;
  if (config.orientation > 5) {
    failure = "Unknown display rotation";
  } else if (config.width % 4 != 0) {
    failure = "Wrong display size: width not divisible by 4";
  } else if (config.width < 10 || config.width > 2000 || config.height < 10 || config.height > 2000) {
    failure = "Obscure display sizes not supported";
  } else if (config.maxfps >= 1 && config.maxfps <= 4) {
    failure = "Locking FPS below 5 is disabled";
  }
  if (failure) {
    SetErrorMsg(failure);
    return 1;
  }
  config.fullscreen = 1;  // no hardware 3D driver here, so reserved7 stays
  return 0;
}

void ClassVexa::FillButtonList() {
  buttonlist = VBUTTONLIST{};
  buttonlist.buttona = 13;
  buttonlist.buttonb = 14;
  buttonlist.buttonc = 15;
  buttonlist.buttonstart = 9;
  buttonlist.dirup = 1;
  buttonlist.dirdown = 5;
  buttonlist.dirleft = 3;
  buttonlist.dirright = 7;
  buttonlist.buttonl = 11;
  buttonlist.buttonr = 12;
}

int ClassVexa::OpenDisplay() {
  const int result = display.Open(window, &vcd, config.drivervideotype, config.width, config.height, true);
  switch (result) {
    case 0: break;
    case 4: SetErrorMsg("Display has received invalid parameters"); break;
    case 3: SetErrorMsg("The requested display mode is not supported by the hardware"); break;
    case 1: SetErrorMsg("Couldn't open the display device"); break;
    default: break;
  }
  return result;
}

int ClassVexa::FailStart(int result) {
  // A start that fails after the display opened must not leave it (or the
  // sound's output thread) running while the object is deleted.
  sound.Close();
  display.Close();
  return result;
}

int ClassVexa::StartFramework() {
  Init();
  int result = OnCreate(&config, &data);
  if (result != 0) return result;
  // No networking on this target: the connection slots stay empty.
  if (config.numconnections > VEXA_MAXCONNECTIONS) config.numconnections = VEXA_MAXCONNECTIONS;
  if (Check() != 0) return 1;
  if (config.orientation == 1 || config.orientation == 3) {
    const uint32_t width = config.width;
    config.width = config.height;
    config.height = width;
  }
  FillButtonList();
  RegisterDisplayLoaders(&display);
  result = OnPluginLoad(&display);
  if (result != 0) return result;
  result = OpenDisplay();
  if (result != 0) return result;

  SetStatusMsg("Initializing application...");
  if (!math.Init()) {
    SetErrorMsg("Error: not enough memory available");
    return FailStart(2);
  }
  input.SetDefaultMappings();
  result = OnInit(data.launchparam);
  SetStatusMsg("Initializing display...");
  if (result == 0) result = OnDisplayInit(data.launchparam, &display);
  vtimer.Reset();
  vtimer.SetSpeed(1000);
  if (result != 0) return FailStart(result);

  SetStatusMsg("Running Vexa...");
  ChangeStatus(VEXA_STATUS_RUNNING);
  tilt.on = (config.dspflags & VEXA_DSPFLAG_NOTILT) == 0;
  while (status <= VEXA_STATUS_MINIMIZED) MainLoop();
  ChangeStatus(VEXA_STATUS_CLOSED);
  return 0;
}

// --- the status machine -----------------------------------------------------------

void ClassVexa::ChangeStatus(uint8_t to) {
  const uint8_t from = status;
  if (to == VEXA_STATUS_MINIMIZED && (from == VEXA_STATUS_RUNNING || from == VEXA_STATUS_INACTIVE)) {
    OnMinimize();
    vtimer.Suspend();
    display.Suspend();
    sound.Suspend();
    std::memset(devicesettings, 0, sizeof devicesettings);
  } else if (to == VEXA_STATUS_RUNNING && (from == VEXA_STATUS_INACTIVE || from == VEXA_STATUS_MINIMIZED)) {
    if (from == VEXA_STATUS_MINIMIZED) std::memset(devicesettings, 0, sizeof devicesettings);
    sound.Resume();
    display.Resume();
    input.ResetState();
    if (from == VEXA_STATUS_MINIMIZED || config.suspendinactive) {
      vtimer.Resume();
      OnRestore();
    }
  } else if (to == VEXA_STATUS_RUNNING && from == VEXA_STATUS_STARTING) {
  } else if (to == VEXA_STATUS_INACTIVE && from == VEXA_STATUS_RUNNING) {
    if (config.suspendinactive || config.fullscreen) display.Suspend();
  } else if (to == VEXA_STATUS_CLOSED && from == VEXA_STATUS_QUIT) {
    OnExit(data.launchparam);
    display.Close();
    sound.Close();
  } else if (to == VEXA_STATUS_CLOSED && from == VEXA_STATUS_STARTING) {
  } else {
    return;  // a request that fits no transition changes nothing
  }
  status = to;
}

void ClassVexa::Quit() {
  if (status <= VEXA_STATUS_STARTING) status = VEXA_STATUS_QUIT;
}

void ClassVexa::Minimize() {}

void ClassVexa::FollowPlatform() {
  if (Platform_QuitRequested()) {
    Quit();
    return;
  }
  if (status > VEXA_STATUS_MINIMIZED) return;
  const int wanted = Platform_WindowState();
  if (wanted == status || wanted < PLATFORM_WINDOW_FOREGROUND || wanted > PLATFORM_WINDOW_MINIMIZED) return;
  // There is no way from minimized to inactive but through the foreground.
  if (wanted == PLATFORM_WINDOW_INACTIVE && status == VEXA_STATUS_MINIMIZED) ChangeStatus(VEXA_STATUS_RUNNING);
  ChangeStatus(uint8_t(wanted));
}

// --- the frame loop -------------------------------------------------------------------

void ClassVexa::MainLoop() {
  FollowPlatform();
  if (status > VEXA_STATUS_MINIMIZED) return;
  if (status != VEXA_STATUS_RUNNING && !(status == VEXA_STATUS_INACTIVE && !config.suspendinactive)) {
    Platform_Usleep(INACTIVE_SLEEP_US);
    Platform_PollInput();  // the front end's window events arrive here while no frame runs
    return;
  }
  vtimer.SetSpeed(speedslow ? 400 : speedfast ? 2500 : 1000);
  vtimer.Update();
  LockFPS();
  UpdateFrameStatistics();
  if (recording) {
    const uint32_t delta = vtimer.RetrieveDelta();
    AppendRecord(VEXA_RECORD_FRAME, &delta, 1);
  }
  if (playback) {
    RunPlayback();
  } else {
    RunFrame(vtimer.RetrieveDelta());
  }
  CheckInput();
  if ((config.dspflags & VEXA_DSPFLAG_NOFLIP) == 0) display.Flip(false);
}

void ClassVexa::RunFrame(uint32_t delta) {
  input.CheckRepeat(delta);
  OnNextFrame(&display, delta);
  sound.Update(delta);
  input.ResetEvents();
}

void ClassVexa::LockFPS() {
  const uint32_t idlewait = config.idlesleep ? 1000u : 0u;
  uint32_t wait = idlewait;
  if (config.maxfps == 0) {
    targettime = actualtime;
  } else {
    actualtime += vtimer.RetrieveDelta() * 1000u;
    const uint32_t budget = stepremainder + 1000000u;
    stepremainder = budget % config.maxfps;
    targettime += budget / config.maxfps;
    if (targettime <= actualtime) {
      targettime = actualtime;  // late: never catch up
    } else {
      const uint32_t lead = (targettime - actualtime) / 1000u * 1000u;
      if (lead != 0) wait = lead;
    }
  }
  if (wait != 0) Platform_Usleep(wait);
  if (actualtime >= FRAME_LOCK_WRAP_US && targettime >= FRAME_LOCK_WRAP_US) {
    actualtime %= FRAME_LOCK_WRAP_US;
    targettime %= FRAME_LOCK_WRAP_US;
  }
}

void ClassVexa::UpdateFrameStatistics() {
  const uint32_t now = ClassVRTimer::Count();
  const uint32_t elapsed = ClassVRTimer::Delta(now, lastsample);
  if (elapsed > STATISTICS_PERIOD_MS) {
    fps100 = uint32_t(uint64_t(framecount) * 100000u / elapsed);
    lastsample = now;
    framecount = 0;
  }
  framecount++;
}

uint32_t ClassVexa::GetFPS() const { return fps100 / 100; }

void ClassVexa::GetFPS(uint32_t& whole, uint32_t& hundredths) const {
  whole = fps100 / 100;
  hundredths = fps100 % 100;
}

// --- the button poll ----------------------------------------------------------------

uint32_t ClassVexa::ReadButtonWord() const {
  const volatile uint16_t* registers = vdevicereg_ptr16;
  if (!registers) return 0;  // no register window: nothing can be pressed
  const uint8_t stick = CorrectStickDiagonal(uint8_t(registers[PLATFORM_REG_STICK / 2] & 0xFF));
  const uint32_t first = registers[PLATFORM_REG_BUTTONS1 / 2] & 0xFF00u;
  const uint32_t second = uint32_t(registers[PLATFORM_REG_BUTTONS2 / 2]) << 16;
  return ~(uint32_t(stick) | first | second);
}

void ClassVexa::CheckInput() {
  Platform_PollInput();
  const uint32_t word = ReadButtonWord();
  const uint32_t changed = word ^ LoadWordMsbFirst(previousbuttons);
  // A recording being played owns the buttons; live changes are only tracked.
  if (!playback) {
    for (uint32_t bit = 0; bit < 32; bit++) {
      if (changed & (1u << bit)) ReportButton(bit + 1, (word & (1u << bit)) != 0);
    }
  }
  StoreWordMsbFirst(previousbuttons, word);
  if (tilt.on) EmulateTilt(word);
}

void ClassVexa::ReportButton(uint32_t code, bool down) {
  const uint32_t turned = display.VirtualDPad(code, &buttonlist);
  if (down) {
    OnButtonDown(turned, &buttonlist);
    input.OnKeyDown(uint16_t(turned));
  } else {
    OnButtonUp(turned, &buttonlist);
    input.OnKeyUp(uint16_t(turned));
  }
  if (recording) AppendRecord(down ? VEXA_RECORD_BUTTONDOWN : VEXA_RECORD_BUTTONUP, &turned, 1);
}

// Held directions as tilt values for applications that read the tilt; the
// handheld has no tilt sensor of its own.
void ClassVexa::EmulateTilt(uint32_t word) {
  auto held = [word](uint32_t code) { return int32_t((word >> (code - 1)) & 1u); };
  const int32_t x = (held(buttonlist.dirright) - held(buttonlist.dirleft)) * TILT_STEP;
  const int32_t y = (held(buttonlist.dirdown) - held(buttonlist.dirup)) * TILT_STEP;
  if (x == tilt.x && y == tilt.y) return;
  tilt.x = x;
  tilt.y = y;
  input.OnTilt(x, y);
}

// --- messages and the log ---------------------------------------------------------------

void ClassVexa::SetErrorMsg(const char* text) {
  ClassVStd::StrCpy(errortext, text ? text : "", VEXA_ERRORTEXTSIZE);
}

void ClassVexa::SetErrorMsg(const char16_t* text) {
  ClassVStd::StrCpy(errortext, text ? text : u"", VEXA_ERRORTEXTSIZE);
}

// The handheld has no place to show progress; the texts go nowhere.
void ClassVexa::SetStatusMsg(const char16_t*) {}

void ClassVexa::SetStatusMsg(const char* text) {
  char16_t wide[WIDEN_BUFFER];
  ClassVStd::StrCpy(wide, text ? text : "", WIDEN_BUFFER);
  SetStatusMsg(wide);
}

void ClassVexa::Log(const char* text, bool newline) { AppendToLog("log.txt", text ? text : "", newline); }

void ClassVexa::Log(const char16_t* text, bool newline) {
  if (!text) text = u"";
  const int32_t length = ClassVStd::StrLen(text, LOG_MAXLENGTH);
  if (length < WIDEN_BUFFER) {
    char narrow[WIDEN_BUFFER];
    ClassVStd::StrCpy(narrow, text, WIDEN_BUFFER);
    Log(narrow, newline);
    return;
  }
  char* narrow = static_cast<char*>(ClassVMemory::Alloc(uint32_t(length) + 1));
  if (!narrow) {
    char first[WIDEN_BUFFER];  // without memory, the first characters still reach the log
    ClassVStd::StrCpy(first, text, WIDEN_BUFFER);
    Log(first, newline);
    return;
  }
  ClassVStd::StrCpy(narrow, text, length + 1);
  Log(narrow, newline);
  ClassVMemory::DeAlloc(narrow);
}

void ClassVexa::Log(int32_t number, bool newline) {
  char digits[12];
  ClassVStd::IntToStr(digits, number);
  Log(digits, newline);
}

void ClassVexa::NewLogFile() {
  char path[2 * VEXA_PATHMAX];
  ClassVStd::StrCpy(path, data.apppath, VEXA_PATHMAX);
  ClassVStd::StrCat(path, "log.txt");
  std::FILE* log = std::fopen(path, "wb");
  if (log) std::fclose(log);
}
