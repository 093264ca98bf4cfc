// vpk - the package tool: makes, lists, changes, checks and unpacks the
// framework's package files from the command line, as tar does archives.
//
// Depends on: resources/vmod_file (every package operation), util/vmod_std
// (dates), util/vmod_memory (entry data blocks). Exit status: 0 success,
// 1 an operation failed, 2 the command line was wrong.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/vmod_file.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: vpk COMMAND PACKAGE [OPTION...] [ARGUMENT...]\n"
    "\n"
    "commands:\n"
    "  create PACKAGE [--vendor TAG] [--method M] FILE...\n"
    "                      make a new package holding the files\n"
    "  add PACKAGE [--method M] [--replace] FILE...\n"
    "                      add files; --replace replaces entries of the same name\n"
    "  list PACKAGE        show every entry: index, name, size, packed size,\n"
    "                      method, modification and addition time (UTC)\n"
    "  extract PACKAGE [NAME...] [-C FOLDER] [--overwrite]\n"
    "                      write the named entries (all without a name) as files\n"
    "                      into FOLDER (the current folder without -C)\n"
    "  delete PACKAGE NAME...\n"
    "                      remove entries\n"
    "  verify PACKAGE      check the header checksum, every position and record,\n"
    "                      and that every entry unpacks to its stated size\n"
    "  convert PACKAGE     rewrite an old-layout (VPCK) package as VPK2\n"
    "  vendor PACKAGE TAG  set the four-character vendor tag\n"
    "\n"
    "options:\n"
    "  -m, --method M      storage of added files: raw, lzw or zlib (default zlib);\n"
    "                      data that would not shrink is stored raw\n"
    "      --vendor TAG    vendor tag of a new package (default VEXA)\n"
    "  -r, --replace       let add replace entries of the same name\n"
    "  -C FOLDER           extract into FOLDER, which must exist\n"
    "  -f, --overwrite     let extract overwrite existing files\n"
    "  -v, --verbose       name each entry as it is handled\n"
    "  -h, --help          show this text\n"
    "\n"
    "Entries are stored under the file's name without its folders, at most 63\n"
    "characters; names are found without regard to case.\n"
    "Exit status: 0 success, 1 an operation failed, 2 the command line was wrong.\n";

// Options each command accepts.
enum Option : unsigned {
  kMethod = 1u << 0,
  kVendor = 1u << 1,
  kReplace = 1u << 2,
  kFolder = 1u << 3,
  kOverwrite = 1u << 4,
  kVerbose = 1u << 5,
};

struct COMMANDLINE {
  std::string command;
  std::string package;
  std::vector<std::string> arguments;
  unsigned given = 0;
  int method = VPK_METHOD_ZLIB;
  std::string vendor;
  std::string folder;
  bool replace = false;
  bool overwrite = false;
  bool verbose = false;
};

const char* const kMethodNames[] = {"raw", "lzw", "zlib"};

int UsageError(const char* format, const char* detail) {
  std::fprintf(stderr, "vpk: ");
  std::fprintf(stderr, format, detail);
  std::fprintf(stderr, "\nTry 'vpk --help'.\n");
  return kExitUsage;
}

const char* CodeText(int code) {
  switch (code) {
    case VPK_ERR_IO: return "input/output failure";
    case VPK_ERR_MEMORY: return "out of memory";
    case VPK_ERR_NOPACKAGE: return "not a valid package";
    case VPK_ERR_FULL: return "the package is full (32768 entries)";
    case VPK_ERR_NOENTRY: return "no such entry, or its record is unreadable";
    case VPK_ERR_CORRUPT: return "entry data is corrupt or uses an unknown method";
    case VPK_ERR_EXISTS: return "already exists";
    default: return "unknown failure";
  }
}

void Fail(const std::string& where, const char* what) {
  std::fprintf(stderr, "vpk: %s: %s\n", where.c_str(), what);
}

bool MethodByName(const std::string& name, int& method) {
  for (int i = 0; i < 3; i++) {
    if (name == kMethodNames[i]) {
      method = i;
      return true;
    }
  }
  return false;
}

// Takes the value of an option written "--name VALUE" or "--name=VALUE".
bool OptionValue(int argc, char** argv, int& i, const std::string& arg, const char* name, std::string& value) {
  const size_t length = std::strlen(name);
  if (arg.compare(0, length, name) != 0) {
    return false;
  }
  if (arg.size() > length && arg[length] == '=') {
    value = arg.substr(length + 1);
    return true;
  }
  if (arg.size() == length && i + 1 < argc) {
    value = argv[++i];
    return true;
  }
  return false;
}

// Reads options anywhere after the command; "--" ends them.
int ParseCommandLine(int argc, char** argv, COMMANDLINE& line) {
  std::vector<std::string> positional;
  bool optionsended = false;
  for (int i = 2; i < argc; i++) {
    const std::string arg = argv[i];
    std::string value;
    if (optionsended || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsended = true;
    } else if (OptionValue(argc, argv, i, arg, "--method", value) || OptionValue(argc, argv, i, arg, "-m", value)) {
      if (!MethodByName(value, line.method)) return UsageError("unknown method '%s' (raw, lzw or zlib)", value.c_str());
      line.given |= kMethod;
    } else if (OptionValue(argc, argv, i, arg, "--vendor", value)) {
      if (value.empty()) return UsageError("%s needs a tag of one to four characters", "--vendor");
      line.vendor = value;
      line.given |= kVendor;
    } else if (OptionValue(argc, argv, i, arg, "-C", value)) {
      line.folder = value;
      line.given |= kFolder;
    } else if (arg == "-r" || arg == "--replace") {
      line.replace = true;
      line.given |= kReplace;
    } else if (arg == "-f" || arg == "--overwrite") {
      line.overwrite = true;
      line.given |= kOverwrite;
    } else if (arg == "-v" || arg == "--verbose") {
      line.verbose = true;
      line.given |= kVerbose;
    } else if (arg == "--method" || arg == "-m" || arg == "--vendor" || arg == "-C") {
      return UsageError("%s needs a value", arg.c_str());
    } else {
      return UsageError("unknown option '%s'", arg.c_str());
    }
  }
  if (positional.empty()) {
    return UsageError("%s: no package named", line.command.c_str());
  }
  line.package = positional[0];
  line.arguments.assign(positional.begin() + 1, positional.end());
  return kExitOk;
}

std::string Timestamp(uint32_t seconds) {
  if (seconds == 0) {
    return "-";
  }
  V_DATETIME date;
  ClassVStd::TimestampToDateTime(date, seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", date.year, date.month, date.day, date.hour,
                date.minute, date.second);
  return text;
}

std::string MethodName(uint8_t method) {
  return method < 3 ? kMethodNames[method] : "?" + std::to_string(method);
}

// The first four bytes of the open file: which layout it claims.
std::string Magic(ClassVFile& file) {
  char magic[5] = {};
  file.Seek(0);
  if (!file.Read(magic, 4)) {
    return "";
  }
  file.Seek(0);
  return magic;
}

// Opens an existing package; reports why not.
bool OpenPackage(ClassVFile& file, const std::string& path, int mode) {
  if (file.IsFolder(path.c_str())) {
    Fail(path, "is a folder");
    return false;
  }
  if (!file.Open(path.c_str(), mode)) {
    Fail(path, file.Exists(path.c_str()) ? "cannot be opened" : "no such file");
    return false;
  }
  if (file.PackValid()) {
    return true;
  }
  const std::string magic = Magic(file);
  Fail(path, magic == "VPK2" ? "the header checksum does not match (or its header size is wrong)"
             : magic == "VPCK" ? "the old-layout header is cut short"
                               : "not a package");
  return false;
}

bool CheckSourceFile(ClassVFile& file, const std::string& path) {
  if (file.IsFolder(path.c_str())) {
    Fail(path, "is a folder; name the files in it");
    return false;
  }
  if (!file.Exists(path.c_str())) {
    Fail(path, "no such file");
    return false;
  }
  return true;
}

// Adds every file named; true when all went in.
bool AddFiles(ClassVFile& file, const COMMANDLINE& line) {
  bool allin = true;
  for (const std::string& path : line.arguments) {
    if (!CheckSourceFile(file, path)) {
      allin = false;
      continue;
    }
    char stored[VPK_NAMESIZE];
    VFile_CheckStoreName(stored, path.c_str());
    const int code = file.PackAddFile(path.c_str(), line.replace, line.method);
    if (code == VPK_OK) {
      if (line.verbose) std::printf("%s\n", stored);
    } else if (code == VPK_ERR_EXISTS) {
      Fail(line.package, (std::string("an entry named '") + stored + "' is already in the package" +
                          (line.command == "add" ? " (use --replace)" : ""))
                             .c_str());
      allin = false;
    } else if (code == VPK_ERR_NOENTRY) {
      Fail(path, "cannot be read");
      allin = false;
    } else {
      Fail(line.package, (path + ": " + CodeText(code)).c_str());
      allin = false;
    }
  }
  return allin;
}

// --- commands -----------------------------------------------------------------

int Create(const COMMANDLINE& line) {
  if (line.arguments.empty()) {
    return UsageError("%s: name the files to pack", "create");
  }
  ClassVFile file;
  const int code = file.PackNew(line.package.c_str(), line.vendor.empty() ? nullptr : line.vendor.c_str());
  if (code != VPK_OK) {
    Fail(line.package, code == VPK_ERR_EXISTS ? "already exists; use 'vpk add' to add to it" : "cannot be created");
    return kExitFailed;
  }
  if (!AddFiles(file, line)) {
    // A package that lacks some of what was asked for is no result.
    file.Close();
    file.Delete(line.package.c_str());
    Fail(line.package, "not created");
    return kExitFailed;
  }
  file.Close();
  return kExitOk;
}

int Add(const COMMANDLINE& line) {
  if (line.arguments.empty()) {
    return UsageError("%s: name the files to add", "add");
  }
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READWRITE)) {
    return kExitFailed;
  }
  const bool allin = AddFiles(file, line);
  file.Close();
  return allin ? kExitOk : kExitFailed;
}

int List(const COMMANDLINE& line) {
  if (!line.arguments.empty()) {
    return UsageError("list: unexpected argument '%s'", line.arguments[0].c_str());
  }
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READ)) {
    return kExitFailed;
  }
  char vendor[5];
  file.PackGetVendor(vendor);
  const std::string magic = Magic(file);
  const uint32_t count = file.PackContainFiles();
  std::printf("%s: %s%s, vendor '%s', %u %s\n", line.package.c_str(), magic.c_str(),
              magic == "VPCK" ? " (old layout)" : "", vendor, count, count == 1 ? "entry" : "entries");
  std::printf("%5s  %-24s %10s %10s  %-6s %-19s  %s\n", "#", "name", "size", "packed", "method", "modified",
              "added");
  bool allread = true;
  for (uint32_t i = 0; i < count; i++) {
    VPK_FILEINFO info;
    if (!file.PackGetFileInfo(info, static_cast<int32_t>(i), false)) {
      std::printf("%5u  (unreadable record)\n", i);
      allread = false;
      continue;
    }
    std::printf("%5u  %-24s %10u %10u  %-6s %-19s  %s\n", i, info.name, info.unpackedsize, info.packedsize,
                MethodName(info.method).c_str(), Timestamp(info.modifiedtime).c_str(),
                Timestamp(info.addedtime).c_str());
  }
  file.Close();
  if (!allread) {
    Fail(line.package, "some records are unreadable; see 'vpk verify'");
  }
  return allread ? kExitOk : kExitFailed;
}

int ExtractOne(ClassVFile& file, const COMMANDLINE& line, const char16_t* folder, int32_t index,
               const std::string& label) {
  const int code = file.PackExtractFile(folder, index, line.overwrite);
  if (code == VPK_OK) {
    if (line.verbose) std::printf("%s\n", label.c_str());
    return kExitOk;
  }
  if (code == VPK_ERR_EXISTS) {
    Fail(label, "a file of that name exists (use --overwrite)");
  } else if (code == VPK_ERR_IO) {
    Fail(label, "cannot be written (unreadable record, unusable name, or the file cannot be created)");
  } else {
    Fail(label, CodeText(code));
  }
  return kExitFailed;
}

int Extract(const COMMANDLINE& line) {
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READ)) {
    return kExitFailed;
  }
  const std::string folder = line.folder.empty() ? "." : line.folder;
  if (!file.IsFolder(folder.c_str())) {
    Fail(folder, "no such folder");
    return kExitFailed;
  }
  const std::u16string widefolder(folder.begin(), folder.end());
  int status = kExitOk;
  if (line.arguments.empty()) {
    for (uint32_t i = 0; i < file.PackContainFiles(); i++) {
      VPK_FILEINFO info;
      const std::string label = file.PackGetFileInfo(info, static_cast<int32_t>(i), false)
                                    ? std::string(info.name)
                                    : "entry " + std::to_string(i);
      status |= ExtractOne(file, line, widefolder.c_str(), static_cast<int32_t>(i), label);
    }
  }
  for (const std::string& name : line.arguments) {
    int32_t index = -1;
    if (!file.PackSearchFile(name.c_str(), index)) {
      Fail(name, "not in the package");
      status = kExitFailed;
      continue;
    }
    status |= ExtractOne(file, line, widefolder.c_str(), index, name);
  }
  file.Close();
  return status;
}

int Delete(const COMMANDLINE& line) {
  if (line.arguments.empty()) {
    return UsageError("%s: name the entries to delete", "delete");
  }
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READWRITE)) {
    return kExitFailed;
  }
  int status = kExitOk;
  for (const std::string& name : line.arguments) {
    const int code = file.PackDeleteFile(name.c_str());
    if (code == VPK_OK) {
      if (line.verbose) std::printf("%s\n", name.c_str());
      continue;
    }
    Fail(name, code == VPK_ERR_NOENTRY ? "not in the package" : CodeText(code));
    status = kExitFailed;
  }
  file.Close();
  return status;
}

int Verify(const COMMANDLINE& line) {
  if (!line.arguments.empty()) {
    return UsageError("verify: unexpected argument '%s'", line.arguments[0].c_str());
  }
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READ)) {
    return kExitFailed;
  }
  const uint32_t count = file.PackContainFiles();
  uint32_t problems = 0;
  for (uint32_t i = 0; i < count; i++) {
    const int32_t index = static_cast<int32_t>(i);
    VPK_FILEINFO info;
    if (!file.PackGetFileInfo(info, index, false)) {
      std::printf("entry %u: its position or record is unreadable\n", i);
      problems++;
      continue;
    }
    uint8_t* data = nullptr;
    uint32_t size = 0;
    const int code = file.PackGetFileData(data, size, index);
    ClassVMemory::DeAlloc(data);
    if (code != VPK_OK) {
      std::printf("entry %u (%s): %s\n", i, info.name, CodeText(code));
      problems++;
    }
  }
  file.Close();
  if (problems > 0) {
    std::printf("%s: %u of %u %s damaged\n", line.package.c_str(), problems, count, count == 1 ? "entry" : "entries");
    return kExitFailed;
  }
  std::printf("%s: OK, %u %s\n", line.package.c_str(), count, count == 1 ? "entry" : "entries");
  return kExitOk;
}

int Convert(const COMMANDLINE& line) {
  if (!line.arguments.empty()) {
    return UsageError("convert: unexpected argument '%s'", line.arguments[0].c_str());
  }
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READWRITE)) {
    return kExitFailed;
  }
  if (Magic(file) != "VPCK") {
    std::printf("%s: already in the current layout\n", line.package.c_str());
    return kExitOk;
  }
  if (!file.ConvertPackFile()) {
    Fail(line.package, "conversion failed; the package is unchanged");
    return kExitFailed;
  }
  std::printf("%s: converted, %u %s\n", line.package.c_str(), file.PackContainFiles(),
              file.PackContainFiles() == 1 ? "entry" : "entries");
  file.Close();
  return kExitOk;
}

int Vendor(const COMMANDLINE& line) {
  if (line.arguments.size() != 1 || line.arguments[0].empty()) {
    return UsageError("%s: name one tag of one to four characters", "vendor");
  }
  ClassVFile file;
  if (!OpenPackage(file, line.package, VFILE_MODE_READWRITE)) {
    return kExitFailed;
  }
  if (!file.PackChangeVendor(line.arguments[0].c_str())) {
    Fail(line.package, "the vendor tag could not be written");
    return kExitFailed;
  }
  file.Close();
  return kExitOk;
}

struct COMMAND {
  const char* name;
  int (*run)(const COMMANDLINE&);
  unsigned options;
};

const COMMAND kCommands[] = {
    {"create", Create, kVendor | kMethod | kVerbose},
    {"add", Add, kMethod | kReplace | kVerbose},
    {"list", List, 0},
    {"extract", Extract, kFolder | kOverwrite | kVerbose},
    {"delete", Delete, kVerbose},
    {"verify", Verify, 0},
    {"convert", Convert, 0},
    {"vendor", Vendor, 0},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string first = argv[1];
  if (first == "-h" || first == "--help" || first == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; i++) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  for (const COMMAND& command : kCommands) {
    if (first != command.name) {
      continue;
    }
    COMMANDLINE line;
    line.command = first;
    const int parsed = ParseCommandLine(argc, argv, line);
    if (parsed != kExitOk) {
      return parsed;
    }
    if ((line.given & ~command.options) != 0) {
      return UsageError("%s: an option given does not apply to this command", command.name);
    }
    return command.run(line);
  }
  return UsageError("unknown command '%s'", first.c_str());
}
