#include "host/sim/profile_check.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>

#include "host/sim/code_page.h"
#include "host/sim/comm.h"
#include "host/sim/faults.h"
#include "host/sim/registry.h"
#include "host/sim/services.h"
#include "package/MachineChecks.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

using namespace check;

// The value types RegQueryValueExA reports, REG_NONE to REG_QWORD.
constexpr int64_t kLastRegistryType = 11;
constexpr int64_t kMaxDword = 0xFFFFFFFFll;
constexpr int64_t kMaxDelayMs = static_cast<int64_t>(kMaxVirtualMs);

const Profile* Find(const Profile& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

// A host file the machine copies onto its drive.
void HostFile(const Profile& value, const std::string& path, const std::string& baseDirectory) {
  fs::path file = String(value, path);
  if (file.empty()) Fail(path, "expected a host file name, got \"\"");
  if (file.is_relative()) file = fs::path(baseDirectory) / file;
  std::error_code error;
  if (!fs::is_regular_file(file, error)) Fail(path, "no such file: " + file.string());
}

// A path on the simulated machine's only drive, C:.
void DrivePath(const std::string& text, const std::string& path) {
  if (text.empty()) Fail(path, "expected a path on drive C:, got \"\"");
  if (text.size() >= 2 && text[1] == ':' && std::toupper(static_cast<unsigned char>(text[0])) != 'C')
    Fail(path, "\"" + text + "\" is not on drive C:");
}

bool IsDriveRoot(const std::string& text) {
  for (char c : text.size() >= 2 && text[1] == ':' ? text.substr(2) : text)
    if (c != '\\' && c != '/' && c != '.') return false;
  return true;
}

void CheckWindows(const Profile& windows, const std::string& path) {
  Object(windows, path,
         {"major", "minor", "build", "platform_id", "wow64", "has_IsWow64Process", "extended_version_info",
          "administrator", "code_page", "native_machine", "protected_print"});
  // Any platform id, as GetVersionExA could report one the installer does
  // not know (Windows CE's 3).
  for (const char* key : {"major", "minor", "build", "platform_id"})
    if (const Profile* value = Find(windows, key)) Dword(*value, Member(path, key));
  for (const char* key :
       {"wow64", "has_IsWow64Process", "extended_version_info", "administrator", "protected_print"})
    if (const Profile* value = Find(windows, key)) Bool(*value, Member(path, key));
  if (const Profile* machine = Find(windows, "native_machine")) {
    const std::string field = Member(path, "native_machine");
    const bool x86 = OneOf(*machine, field, NativeMachineNames()) == "x86";
    // The installer is an x86 program: it runs under WoW64 exactly where
    // Windows is not x86.
    const Profile* wow64 = Find(windows, "wow64");
    if (wow64 && wow64->get<bool>() == x86)
      Fail(field, std::string("an x86 program ") + (x86 ? "does not run" : "runs") + " under WoW64 on " +
                      machine->get<std::string>() + " Windows: leave out \"wow64\" or make it " +
                      (x86 ? "false" : "true"));
  }
  if (const Profile* mode = Find(windows, "protected_print")) {
    const Profile* major = Find(windows, "major");
    const Profile* build = Find(windows, "build");
    // The machine's defaults are Windows 10 build 19045.
    const DWORD majorVersion = major ? major->get<DWORD>() : 10;
    const DWORD buildNumber = build ? build->get<DWORD>() : 19045;
    if (mode->get<bool>() && !(majorVersion > 10 || (majorVersion == 10 && buildNumber >= 26100)))
      Fail(Member(path, "protected_print"),
           "Windows Protected Print mode needs Windows 11 24H2 (build 26100)");
  }
  if (const Profile* value = Find(windows, "code_page")) {
    const std::string field = Member(path, "code_page");
    Dword(*value, field);
    if (!IsSupportedCodePage(value->get<UINT>()))
      Fail(field, "code page " + std::to_string(value->get<UINT>()) +
                      " is not one the machine has (1250, 1252, 936)");
  }
}

void CheckRegistryValue(const Profile& value, const std::string& path) {
  if (value.is_string()) return;
  if (value.is_number_integer()) {
    Dword(value, path);
    return;
  }
  if (!value.is_object())
    Expected(path, "a string, a number from 0 to 4294967295 or {\"type\": N, \"hex\": \"...\"}", value);
  Object(value, path, {"type", "hex"});
  if (const Profile* type = Find(value, "type")) Integer(*type, Member(path, "type"), 0, kLastRegistryType);
  const Profile* hex = Find(value, "hex");
  if (!hex) Fail(path, "a value given as an object needs \"hex\"");
  std::vector<BYTE> bytes;
  if (!ParseHexBytes(String(*hex, Member(path, "hex")), false, &bytes))
    Expected(Member(path, "hex"), "hex bytes (pairs of 0-9, a-f)", *hex);
}

void CheckRegistry(const Profile& registry, const std::string& path) {
  if (!registry.is_object()) Expected(path, "an object of keys", registry);
  for (auto key = registry.begin(); key != registry.end(); ++key) {
    const std::string keyPath = Member(path, key.key());
    if (!SimRegistry::HasKnownRoot(key.key()))
      Fail(keyPath, "a key path must start with a root key such as HKEY_LOCAL_MACHINE");
    if (!key.value().is_object()) Expected(keyPath, "an object of values", key.value());
    for (auto value = key.value().begin(); value != key.value().end(); ++value) {
      if (value.key() == "@deny")
        OneOf(value.value(), Member(keyPath, "@deny"), {"open", "write"});
      else
        CheckRegistryValue(value.value(), Member(keyPath, value.key()));
    }
  }
}

void CheckFiles(const Profile& profile, const std::string& baseDirectory) {
  if (const Profile* directory = Find(profile, "current_directory"))
    DrivePath(String(*directory, "current_directory"), "current_directory");
  if (const Profile* package = Find(profile, "package")) HostFile(*package, "package", baseDirectory);
  const Profile* files = Find(profile, "files");
  if (!files) return;
  if (!files->is_object()) Expected("files", "an object of paths", *files);
  for (auto it = files->begin(); it != files->end(); ++it) {
    const std::string path = Member("files", it.key());
    DrivePath(it.key(), path);
    const Profile& entry = it.value();
    Object(entry, path, {"content", "copy_from", "folder", "readonly"});
    const bool folder = Find(entry, "folder") && Bool(entry["folder"], Member(path, "folder"));
    const int kinds =
        (folder ? 1 : 0) + (Find(entry, "content") ? 1 : 0) + (Find(entry, "copy_from") ? 1 : 0);
    if (kinds > 1) Fail(path, "give one of \"content\", \"copy_from\" and \"folder\"");
    if (!folder && IsDriveRoot(it.key())) Fail(path, "the root of C: is a folder, not a file");
    if (const Profile* content = Find(entry, "content")) String(*content, Member(path, "content"));
    if (const Profile* source = Find(entry, "copy_from"))
      HostFile(*source, Member(path, "copy_from"), baseDirectory);
    if (const Profile* readonly = Find(entry, "readonly")) Bool(*readonly, Member(path, "readonly"));
  }
}

void CheckServices(const Profile& services, const std::string& path) {
  if (!services.is_object()) Expected(path, "an object of services", services);
  for (auto it = services.begin(); it != services.end(); ++it) {
    const std::string service = Member(path, it.key());
    Object(it.value(), service, {"state", "pending_polls", "stuck"});
    if (const Profile* state = Find(it.value(), "state"))
      OneOf(*state, Member(service, "state"), SimServices::StateNames());
    if (const Profile* polls = Find(it.value(), "pending_polls"))
      Integer(*polls, Member(service, "pending_polls"), 0, INT_MAX);
    if (const Profile* stuck = Find(it.value(), "stuck"))
      OneOf(*stuck, Member(service, "stuck"), SimServices::PendingStateNames());
  }
}

// A list of objects with the given fields, each a string but "type"; the
// first field is required.
void CheckEntries(const Profile& list, const std::string& path, std::initializer_list<const char*> fields) {
  List(list, path);
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string entry = Element(path, i);
    Object(list[i], entry, fields);
    if (!Find(list[i], *fields.begin())) Fail(entry, std::string("needs \"") + *fields.begin() + "\"");
    for (auto it = list[i].begin(); it != list[i].end(); ++it) {
      if (it.key() == "type")
        Dword(it.value(), Member(entry, it.key()));
      else
        String(it.value(), Member(entry, it.key()));
    }
  }
}

void CheckSpooler(const Profile& spooler, const std::string& path) {
  Object(spooler, path, {"ports", "online_ports", "monitors", "drivers", "printers"});
  if (const Profile* ports = Find(spooler, "ports"))
    CheckEntries(*ports, Member(path, "ports"), {"name", "monitor", "description", "type"});
  if (const Profile* online = Find(spooler, "online_ports")) {
    List(*online, Member(path, "online_ports"));
    for (size_t i = 0; i < online->size(); ++i)
      String((*online)[i], Element(Member(path, "online_ports"), i));
  }
  if (const Profile* monitors = Find(spooler, "monitors"))
    CheckEntries(*monitors, Member(path, "monitors"), {"name", "environment", "dll"});
  if (const Profile* drivers = Find(spooler, "drivers"))
    CheckEntries(*drivers, Member(path, "drivers"), {"name", "environment"});
  if (const Profile* printers = Find(spooler, "printers"))
    CheckEntries(*printers, Member(path, "printers"), {"name", "port", "driver"});
}

void CheckComPorts(const Profile& ports, const std::string& path) {
  if (!ports.is_object()) Expected(path, "an object of COM ports", ports);
  for (auto it = ports.begin(); it != ports.end(); ++it) {
    const std::string port = Member(path, it.key());
    if (ComPortName(it.key().c_str()).empty()) Fail(port, "not a COM port name (COM1 to COM255)");
    const Profile& entry = it.value();
    Object(entry, port, {"device", "baud", "reply", "reply_delay_ms", "refused_wait_signals"});
    if (const Profile* device = Find(entry, "device"))
      OneOf(*device, Member(port, "device"), ComDeviceKinds());
    // A device at 0 baud would never send its reply.
    if (const Profile* baud = Find(entry, "baud")) Integer(*baud, Member(port, "baud"), 1, kMaxDword);
    if (const Profile* reply = Find(entry, "reply")) {
      std::vector<BYTE> bytes;
      if (!ParseHexBytes(String(*reply, Member(port, "reply")), true, &bytes))
        Expected(Member(port, "reply"), "hex bytes (pairs of 0-9, a-f, spaces between)", *reply);
    }
    if (const Profile* delay = Find(entry, "reply_delay_ms"))
      Integer(*delay, Member(port, "reply_delay_ms"), 0, kMaxDelayMs);
    if (const Profile* signals = Find(entry, "refused_wait_signals"))
      Bool(*signals, Member(port, "refused_wait_signals"));
  }
}

void CheckLatency(const Profile& latency, const std::string& path) {
  if (!latency.is_object()) Expected(path, "an object of call names", latency);
  for (auto it = latency.begin(); it != latency.end(); ++it) {
    const std::string call = Member(path, it.key());
    const std::vector<std::string>& known = TimedCalls();
    if (std::find(known.begin(), known.end(), it.key()) == known.end())
      Fail(call, "not a call that can be made to take time");
    Integer(it.value(), call, 0, kMaxDelayMs);
  }
}

void CheckFaults(const Profile& faults, const std::string& path) {
  List(faults, path);
  for (size_t i = 0; i < faults.size(); ++i) {
    const std::string fault = Element(path, i);
    const Profile& entry = faults[i];
    Object(entry, fault, {"call", "error", "after", "count", "match"});
    const Profile* call = Find(entry, "call");
    if (!call) Fail(fault, "needs \"call\"");
    const std::vector<std::string>& known = FaultableCalls();
    if (std::find(known.begin(), known.end(), String(*call, Member(fault, "call"))) == known.end())
      Fail(Member(fault, "call"),
           "\"" + call->get<std::string>() + "\" is not a call that can be made to fail");
    if (const Profile* error = Find(entry, "error")) Dword(*error, Member(fault, "error"));
    if (const Profile* after = Find(entry, "after")) Integer(*after, Member(fault, "after"), 0, INT_MAX);
    // -1: every later call.
    if (const Profile* count = Find(entry, "count")) Integer(*count, Member(fault, "count"), -1, INT_MAX);
    if (const Profile* match = Find(entry, "match")) String(*match, Member(fault, "match"));
  }
}

}  // namespace

const std::vector<std::string>& NativeMachineNames() {
  static const std::vector<std::string> names = {"x86", "x64", "arm64"};
  return names;
}

WORD NativeMachineOfName(const std::string& name) {
  if (name == "x86") return NATIVE_MACHINE_X86;
  if (name == "x64") return NATIVE_MACHINE_X64;
  if (name == "arm64") return NATIVE_MACHINE_ARM64;
  return NATIVE_MACHINE_UNKNOWN;
}

void CheckProfile(const Profile& profile, const std::string& baseDirectory) {
  Object(profile, "",
         {"name", "windows", "registry", "current_directory", "package", "archive_library", "files",
          "keep_drive", "services", "spooler", "com_ports", "latency", "faults"});
  if (const Profile* name = Find(profile, "name")) String(*name, "name");
  if (const Profile* windows = Find(profile, "windows")) CheckWindows(*windows, "windows");
  if (const Profile* registry = Find(profile, "registry")) CheckRegistry(*registry, "registry");
  CheckFiles(profile, baseDirectory);
  for (const char* key : {"archive_library", "keep_drive"})
    if (const Profile* value = Find(profile, key)) Bool(*value, key);
  if (const Profile* services = Find(profile, "services")) CheckServices(*services, "services");
  if (const Profile* spooler = Find(profile, "spooler")) CheckSpooler(*spooler, "spooler");
  if (const Profile* ports = Find(profile, "com_ports")) CheckComPorts(*ports, "com_ports");
  if (const Profile* latency = Find(profile, "latency")) CheckLatency(*latency, "latency");
  if (const Profile* faults = Find(profile, "faults")) CheckFaults(*faults, "faults");
}

}  // namespace sim
