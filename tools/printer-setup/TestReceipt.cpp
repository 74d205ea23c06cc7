#include "TestReceipt.h"

#include <cstdio>

namespace setup {

namespace {

const char kInitialise[] = "\x1B\x40";          // ESC @
const char kCentre[] = "\x1B\x61\x01";          // ESC a 1
const char kLeft[] = "\x1B\x61\x00";            // ESC a 0
const char kBold[] = "\x1B\x45\x01";            // ESC E 1
const char kNotBold[] = "\x1B\x45\x00";         // ESC E 0
const char kFeedAndCut[] = "\x1D\x56\x42\x03";  // GS V 66 3: feed 3 lines, partial cut

std::string Bytes(const char* text, size_t size) { return std::string(text, size - 1); }
#define ESCPOS(name) Bytes(name, sizeof name)

// "0---------1---------2...": a digit every ten columns, the width at a
// glance.
std::string Ruler(int columns) {
  std::string ruler;
  for (int column = 0; column < columns; ++column)
    ruler += column % 10 == 0 ? static_cast<char>('0' + column / 10 % 10) : (column % 5 == 0 ? '+' : '-');
  return ruler + "\n";
}

const char kTitle[] = "PRINTER TEST";

std::vector<std::string> FactLines(const ReceiptFacts& facts) {
  char when[64];  // room for any WORD values
  std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", facts.time.wYear, facts.time.wMonth,
                facts.time.wDay, facts.time.wHour, facts.time.wMinute, facts.time.wSecond);
  return {"Printer: " + facts.printer, "Model:   " + facts.model, "Port:    " + facts.port,
          "Machine: " + facts.machine, "Time:    " + std::string(when)};
}

}  // namespace

std::string BuildTestReceipt(const ReceiptFacts& facts) {
  std::string receipt = ESCPOS(kInitialise) + ESCPOS(kCentre) + ESCPOS(kBold) + kTitle + "\n" +
                        ESCPOS(kNotBold) + ESCPOS(kLeft);
  for (const std::string& line : FactLines(facts)) receipt += line + "\n";
  // The upper half of the code page, as the printer's own character table
  // shows it: the shop owner compares it with what the till prints.
  receipt += "Characters A0-FF:\n";
  for (int row = 0xA0; row <= 0xFF; row += kReceiptColumns / 2) {
    for (int byte = row; byte < row + kReceiptColumns / 2 && byte <= 0xFF; ++byte) {
      receipt += static_cast<char>(byte);
      receipt += ' ';
    }
    receipt += "\n";
  }
  receipt += Ruler(kReceiptColumns);
  receipt += ESCPOS(kFeedAndCut);
  return receipt;
}

std::vector<std::string> TestLabelLines(const ReceiptFacts& facts) {
  std::vector<std::string> lines = FactLines(facts);
  lines.insert(lines.begin(), kTitle);
  return lines;
}

}  // namespace setup
