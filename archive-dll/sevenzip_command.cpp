#include "sevenzip_command.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "no_case.h"
#include "zip_reader.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool Tokenize(const char* line, std::vector<std::string>* tokens, std::string* error) {
  const char* p = line;
  while (*p) {
    while (IsBlank(*p)) ++p;
    if (!*p) break;
    std::string token;
    bool quoted = false;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
      if (*p == '"')
        quoted = !quoted;
      else
        token += *p;
    }
    if (quoted) {
      *error = "unbalanced double quote";
      return false;
    }
    tokens->push_back(token);
  }
  return true;
}

void WriteOutput(const std::string& text, char* output, unsigned outputSize) {
  if (!output || outputSize == 0) return;
  size_t n = std::min<size_t>(text.size(), outputSize - 1);
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

bool SamePart(const std::string& a, const std::string& b) { return EqualsNoCase(a, b.c_str()); }

// True when `entry` is one of `names` or lies below one of them.
bool IsNamed(const std::vector<std::string>& entry, const std::vector<std::vector<std::string>>& names) {
  for (const std::vector<std::string>& name : names) {
    if (name.size() > entry.size()) continue;
    if (std::equal(name.begin(), name.end(), entry.begin(), SamePart)) return true;
  }
  return false;
}

// The first entry of the archive that is not below one of the command's
// names, or an empty string. Names the reader refuses are left to the
// extraction, which refuses them with their own reason.
std::string FirstEntryNotNamed(const std::string& archivePath, const std::vector<std::string>& names) {
  std::vector<std::vector<std::string>> wanted;
  std::string why;
  for (const std::string& name : names) {
    wanted.emplace_back();
    zipreader::SplitEntryName(name, &wanted.back(), &why);
  }
  zipreader::Archive archive;
  if (archive.Open(archivePath, &why) != zipreader::kOk) return std::string();
  for (const zipreader::Entry& entry : archive.entries()) {
    std::vector<std::string> parts;
    if (zipreader::SplitEntryName(entry.name, &parts, &why) && !IsNamed(parts, wanted)) return entry.name;
  }
  return std::string();
}

}  // namespace

bool ParseSevenZipCommand(const char* commandLine, SevenZipCommand* command, std::string* error) {
  *command = SevenZipCommand();
  std::vector<std::string> tokens;
  if (!commandLine) {
    *error = "no command line";
    return false;
  }
  if (!Tokenize(commandLine, &tokens, error)) return false;
  if (tokens.empty()) {
    *error = "empty command line";
    return false;
  }
  if (!EqualsNoCase(tokens[0], "x")) {
    *error = "unknown command \"" + tokens[0] + "\" (only x is supported)";
    return false;
  }
  bool haveArchive = false, haveDestination = false;
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    if (!t.empty() && t[0] == '-') {
      if (EqualsNoCase(t, "-y")) {
        command->assumeYes = true;
      } else if (EqualsNoCase(t, "-hide")) {
        command->hide = true;
      } else if (t.size() >= 2 && (t[1] == 'o' || t[1] == 'O')) {
        if (haveDestination) {
          *error = "more than one -o switch";
          return false;
        }
        command->destination = t.substr(2);
        if (command->destination.empty()) {
          *error = "-o without a folder";
          return false;
        }
        haveDestination = true;
      } else {
        *error = "unknown switch " + t;
        return false;
      }
    } else if (haveArchive) {
      std::vector<std::string> parts;
      std::string why;
      if (!zipreader::SplitEntryName(t, &parts, &why)) {
        *error = "the name \"" + t + "\" cannot be extracted: " + why;
        return false;
      }
      command->names.push_back(t);
    } else if (t.empty()) {
      *error = "empty archive name";
      return false;
    } else {
      command->archive = t;
      haveArchive = true;
    }
  }
  if (!haveArchive) {
    *error = "no archive named";
    return false;
  }
  return true;
}

int RunSevenZipCommand(const char* commandLine, char* output, unsigned outputSize,
                       const std::function<std::string(const std::string& windowsPath)>& mapPath) {
  std::string text;
  int code = zipreader::kOk;
  try {
    SevenZipCommand command;
    std::string error;
    if (!ParseSevenZipCommand(commandLine, &command, &error)) {
      WriteOutput("error: " + error + "\nresult: failed (bad command)\n", output, outputSize);
      return zipreader::kBadCommand;
    }
    std::string archive = mapPath ? mapPath(command.archive) : command.archive;
    std::string destination = command.destination.empty() ? std::string(".") : command.destination;
    destination = mapPath ? mapPath(destination) : destination;
    text = "archive: " + command.archive +
           "\nfolder: " + (command.destination.empty() ? "." : command.destination) + "\n";
    if (archive.empty() || destination.empty()) {
      text += "error: path cannot be reached\nresult: failed\n";
      WriteOutput(text, output, outputSize);
      return zipreader::kCannotOpen;
    }
    if (!command.names.empty()) {
      const std::string stray = FirstEntryNotNamed(archive, command.names);
      if (!stray.empty()) {
        text += "error: entry \"" + stray + "\" is not among the names to extract; nothing was written\n" +
                "result: failed (code " + std::to_string(zipreader::kUnsafeName) + ")\n";
        WriteOutput(text, output, outputSize);
        return zipreader::kUnsafeName;
      }
    }
    zipreader::ExtractReport report = zipreader::ExtractZip(archive, destination);
    text += "entries: " + std::to_string(report.entries) +
            ", files written: " + std::to_string(report.filesWritten) +
            ", folders created: " + std::to_string(report.foldersCreated) +
            ", bytes: " + std::to_string(report.bytesWritten) + "\n";
    for (const std::string& line : report.errors) text += "error: " + line + "\n";
    code = report.code;
    text += code == zipreader::kOk ? "result: ok\n" : "result: failed (code " + std::to_string(code) + ")\n";
  } catch (const std::exception& e) {
    // Nothing may leave a C entry point as an exception.
    text += std::string("error: ") + e.what() + "\nresult: failed\n";
    code = zipreader::kInternal;
  } catch (...) {
    text += "error: unexpected failure\nresult: failed\n";
    code = zipreader::kInternal;
  }
  WriteOutput(text, output, outputSize);
  return code;
}
