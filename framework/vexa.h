// vexa.h - the framework object ClassVexa, from which an application
// derives: it owns the modules, checks the application's configuration,
// opens the display, runs the frame loop with its frame-rate lock, polls the
// handheld's buttons and calls the application's virtual event handlers.
//
// The process entry (vexa_main.cpp) creates the application through
// VexaCreateApplication, which the application defines: the framework never
// includes an application.
//
// Input recording: the frame times and button changes can be recorded into
// a memory buffer and played back in place of the live frame step. The
// buffer is a 16-byte header of four little-endian 32-bit words (header size
// 16, buffer size = the bytes written so far, header included, write
// position, random seed at the start of the recording) followed by records of a type byte, a payload length byte and
// the payload (little-endian 32-bit words):
//   1 frame        delta (ms)
//   2 button down  code (as the handler received it)
//   3 button up    code
//   4 wheel        direction
//   5..8 stylus    up, down, double, move: x, y
//   9 tilt         x, y
// The write position is the end of the records. Docs: docs/record-format.md.
//
// Source: vexa.cpp (framework object), vexa_record.cpp (recording and
// playback), vexa_main.cpp (process entry). Depends on: every module header.
#pragma once

#include <cstdint>

#include "audio/vmod_sound.h"
#include "framework/vexa_records.h"
#include "framework/vmod_console.h"
#include "framework/vmod_device.h"
#include "framework/vmod_vtimer.h"
#include "input/vmod_input.h"
#include "render/vmod_dsp.h"
#include "resources/vmod_file.h"
#include "util/vmod_ini.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

// Application status byte.
constexpr uint8_t VEXA_STATUS_RUNNING = 0;
constexpr uint8_t VEXA_STATUS_INACTIVE = 1;
constexpr uint8_t VEXA_STATUS_MINIMIZED = 2;
constexpr uint8_t VEXA_STATUS_STARTING = 3;
constexpr uint8_t VEXA_STATUS_QUIT = 4;
constexpr uint8_t VEXA_STATUS_CLOSED = 255;

// Record types of the input recording.
constexpr uint8_t VEXA_RECORD_FRAME = 1;
constexpr uint8_t VEXA_RECORD_BUTTONDOWN = 2;
constexpr uint8_t VEXA_RECORD_BUTTONUP = 3;
constexpr uint8_t VEXA_RECORD_WHEEL = 4;
constexpr uint8_t VEXA_RECORD_STYLUSUP = 5;
constexpr uint8_t VEXA_RECORD_STYLUSDOWN = 6;
constexpr uint8_t VEXA_RECORD_STYLUSDOUBLE = 7;
constexpr uint8_t VEXA_RECORD_STYLUSMOVE = 8;
constexpr uint8_t VEXA_RECORD_TILT = 9;
constexpr uint32_t VEXA_RECORD_HEADERSIZE = 16;

constexpr int VEXA_ERRORTEXTSIZE = 256;  // wide characters of the error text, zero included

class ClassVexa {
 public:
  explicit ClassVexa(const VEXADATA* data);  // modules, copied record, empty error text
  virtual ~ClassVexa();                     // connections, recording, modules in reverse order

  ClassVexa(const ClassVexa&) = delete;
  ClassVexa& operator=(const ClassVexa&) = delete;

  // Event handlers, in slot order, with the framework's defaults.
  virtual int OnCreate(VEXACONFIG* config, VEXADATA* data);
  virtual int OnInit(int launchparam);
  virtual int OnMinimize();
  virtual int OnRestore();
  virtual int OnPluginLoad(ClassVDisplay* display);
  virtual int OnDisplayInit(int launchparam, ClassVDisplay* display);
  virtual int OnNextFrame(ClassVDisplay* display, unsigned long elapsed);
  virtual int OnExit(int launchparam);
  virtual void OnButtonDown(unsigned long button, VBUTTONLIST* list);
  virtual void OnButtonUp(unsigned long button, VBUTTONLIST* list);
  virtual void OnWheel(long direction);
  virtual void OnStylusUp(tagPOINT point);
  virtual void OnStylusDown(tagPOINT point);
  virtual void OnStylusDouble(tagPOINT point);
  virtual void OnStylusMove(tagPOINT point);
  virtual void OnDeviceTilt(long x, long y);
  virtual int OnMessage(int* window, unsigned int message, long wparam, long lparam);
  virtual void OnNetMessage(unsigned char id, long a, long b, long c, unsigned char* data);

  // Operations for applications.
  ClassVexa* Start();                       // runs the framework; this object when the run ends
  void Quit();                              // status 4: the current frame completes, then the exit steps
  void Minimize();                          // nothing on this target
  void SetErrorMsg(const char* text);
  void SetErrorMsg(const char16_t* text);
  const char16_t* GetErrorMsg() const { return errortext; }
  void SetStatusMsg(const char* text);      // shown nowhere on this target
  void SetStatusMsg(const char16_t* text);
  uint32_t GetFPS() const;                  // whole frames per second
  void GetFPS(uint32_t& whole, uint32_t& hundredths) const;
  void* GetWnd() const { return window; }   // always null
  uint8_t GetStatus() const { return status; }
  VCD* GetVCD() { return &vcd; }
  VEXACONFIG* GetConfig() { return &config; }
  VEXADATA* GetData() { return &data; }
  VBUTTONLIST* GetButtonList() { return &buttonlist; }

  // "log.txt": Log appends in the current folder, NewLogFile empties the one in apppath.
  void Log(const char* text, bool newline);
  void Log(const char16_t* text, bool newline);
  void Log(int32_t number, bool newline);
  void NewLogFile();

  // Input recording and playback (vexa_record.cpp; format above).
  bool StartRecording();                    // from the next frame; false without memory
  void StopRecording();                     // keeps the buffer for GetRecording
  bool IsRecording() const { return recording; }
  const uint8_t* GetRecording(uint32_t& size) const; // header and records so far, or null
  bool StartPlayback(const void* buffer, uint32_t size); // copies and checks the header; seeds the generator
  bool IsPlayingBack() const { return playback != nullptr; }

 protected:
  // The modules, in construction order.
  ClassVDisplay display;
  ClassVSound sound;
  ClassVInput input;
  ClassVMemory memory;
  ClassVVTimer vtimer;
  ClassVMath math;
  ClassVFile file;
  ClassVIni ini;
  ClassVConsole console;
  ClassVDevice device;

 private:
  int StartFramework();
  void Init();                              // defaults before OnCreate
  int Check();                              // configuration check; 0 or 1 with the error text
  void FillButtonList();
  int OpenDisplay();                        // the display's Open with its error texts
  int FailStart(int result);                // closes what a failed start opened
  void ChangeStatus(uint8_t to);            // the status machine with its transition actions
  void FollowPlatform();                    // the front end's window state and quit request
  void MainLoop();
  void LockFPS();
  void UpdateFrameStatistics();
  void RunFrame(uint32_t delta);            // step 8: repeat, OnNextFrame, sound, events
  void CheckInput();
  uint32_t ReadButtonWord() const;          // set bit = pressed; 0 without a register window
  void ReportButton(uint32_t code, bool down);
  void EmulateTilt(uint32_t word);

  // Recording (vexa_record.cpp).
  void AppendRecord(uint8_t type, const uint32_t* words, uint8_t count);
  void RunPlayback();                       // one frame of the recording in place of the live step
  void StopPlayback();
  void DispatchRecord(uint8_t type, const uint8_t* payload);
  void FreeRecordings();

  VCD vcd{};
  void* window = nullptr;
  VBUTTONLIST buttonlist{};
  struct TILTEMULATOR {
    bool on;
    int32_t x, y;                           // last tilt values handed to the input module
  } tilt{};                                 // held directions as tilt (the game reads no tilt)
  uint8_t devicesettings[2] = {};
  VEXACONFIG config{};
  VEXADATA data{};
  void* connections[VEXA_MAXCONNECTIONS] = {};
  uint8_t* recordbuffer = nullptr;          // header and records (ClassVMemory::Alloc)
  uint32_t recordcapacity = 0;
  uint8_t* playback = nullptr;              // copy of the buffer being played
  uint32_t playbacksize = 0;
  uint32_t playbackposition = 0;
  bool recording = false;
  char16_t errortext[VEXA_ERRORTEXTSIZE] = {};
  uint8_t previousbuttons[256] = {};        // the previous button word, most significant byte first
  uint8_t speednormal = 0, speedslow = 0, speedfast = 0;
  uint32_t fps100 = 0;                      // frames per second x 100
  uint32_t framecount = 0;                  // frames since the last sample
  uint32_t lastsample = 0;                  // real time (ms) of the last sample
  uint32_t targettime = 0;                  // frame lock: target and actual time (us)
  uint32_t actualtime = 0;
  uint32_t stepremainder = 0;
  uint8_t status = VEXA_STATUS_STARTING;
};

// Defined by the application: its object, built on the start-up record.
ClassVexa* VexaCreateApplication(const VEXADATA* data);

// The process entry's steps (main on the handheld; the host entry calls it
// after parsing its options). Returns 0 when the menu program cannot be started.
int VexaProcessMain();
// Creates the application with a caller's record, runs it and returns it undeleted.
ClassVexa* VexaMain(const VEXADATA* data);
// Opens the devices and maps the register window (the address, null on
// failure, with everything closed again); closing unmaps and closes.
volatile uint32_t* HandleDevicePtr(bool close);
