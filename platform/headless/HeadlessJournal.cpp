// HeadlessJournal.cpp: the journal of platform calls, its text forms, and fault injection
// (the nth call of a named operation fails).
#include "HeadlessInternal.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

namespace {

std::vector<HeadlessCall> journal;
bool journaling = true;
// Per operation name, the countdowns of pending faults: a call that brings one to zero
// fails. Only names with a pending fault are here, so the common path is one lookup in an
// (almost always) empty map.
std::map<std::string, std::vector<int>, std::less<>> faults;

} // namespace

bool HeadlessJournaling() {
  return journaling;
}

std::size_t HeadlessJournalOpen(const char* name, std::string args) {
  journal.push_back(HeadlessCall{name, std::move(args), ""});
  return journal.size() - 1;
}

void HeadlessJournalClose(std::size_t index, std::string result) {
  if (index < journal.size()) {
    journal[index].result = std::move(result);
  }
}

bool HeadlessFaultDue(const char* name) {
  if (faults.empty()) {
    return false;
  }
  auto found = faults.find(std::string_view(name));
  if (found == faults.end()) {
    return false;
  }
  bool fail = false;
  std::vector<int>& countdowns = found->second;
  for (int& remaining : countdowns) {
    if (--remaining == 0) {
      fail = true;
    }
  }
  std::erase_if(countdowns, [](int remaining) { return remaining <= 0; });
  if (countdowns.empty()) {
    faults.erase(found);
  }
  return fail;
}

void HeadlessJournalReset() {
  journal.clear();
  faults.clear();
  journaling = true;
}

void HeadlessFailCall(const std::string& name, int nth) {
  if (nth >= 1) {
    faults[name].push_back(nth);
  }
}

void HeadlessSetJournaling(bool on) {
  journaling = on;
}

const std::vector<HeadlessCall>& HeadlessJournal() {
  return journal;
}

std::string HeadlessJournalDump() {
  std::string out;
  for (const HeadlessCall& call : journal) {
    out += call.name + "(" + call.args + ")";
    if (!call.result.empty()) {
      out += " -> " + call.result;
    }
    out += "\n";
  }
  return out;
}

int HeadlessJournalFind(const std::string& name, int from) {
  for (std::size_t i = from < 0 ? 0 : static_cast<std::size_t>(from); i < journal.size(); ++i) {
    if (journal[i].name == name) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int HeadlessJournalCount(const std::string& name) {
  int count = 0;
  for (const HeadlessCall& call : journal) {
    count += call.name == name ? 1 : 0;
  }
  return count;
}

// ---- Text forms ------------------------------------------------------------------------

std::string FormatHex(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

std::string FormatDec(long long value) {
  return std::to_string(value);
}

std::string FormatPtr(const void* value) {
  if (value == nullptr) {
    return "NULL";
  }
  return FormatHex(reinterpret_cast<std::uintptr_t>(value));
}

namespace {

void AppendEscaped(std::string& out, unsigned int c) {
  switch (c) {
  case '"':
    out += "\\\"";
    break;
  case '\\':
    out += "\\\\";
    break;
  case '\n':
    out += "\\n";
    break;
  case '\r':
    out += "\\r";
    break;
  case '\t':
    out += "\\t";
    break;
  default:
    if (c < 0x20 || c == 0x7F) {
      char code[16];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
}

} // namespace

std::string FormatStr(const char* value) {
  if (value == nullptr) {
    return "NULL";
  }
  // Integer resource names (MAKEINTRESOURCE) are not pointers to text.
  if ((reinterpret_cast<std::uintptr_t>(value) >> 16) == 0) {
    return "#" + FormatDec(static_cast<long long>(reinterpret_cast<std::uintptr_t>(value)));
  }
  std::string out = "\"";
  for (const char* p = value; *p != '\0'; ++p) {
    AppendEscaped(out, static_cast<unsigned char>(*p));
  }
  return out + "\"";
}

std::string FormatWide(const wchar_t* value) {
  if (value == nullptr) {
    return "NULL";
  }
  std::string out = "L\"";
  for (const wchar_t* p = value; *p != L'\0'; ++p) {
    auto c = static_cast<unsigned int>(*p);
    if (c < 0x80) {
      AppendEscaped(out, c);
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "\\u%04x", c);
      out += code;
    }
  }
  return out + "\"";
}

std::string FormatBool(BOOL value) {
  return value ? "TRUE" : "FALSE";
}

std::string FormatAnswer(int value) {
  switch (value) {
  case IDOK:
    return "IDOK";
  case IDCANCEL:
    return "IDCANCEL";
  case IDYES:
    return "IDYES";
  case IDNO:
    return "IDNO";
  default:
    return FormatDec(value);
  }
}

std::string FormatDisp(LONG value) {
  switch (value) {
  case DISP_CHANGE_SUCCESSFUL:
    return "DISP_CHANGE_SUCCESSFUL";
  case DISP_CHANGE_RESTART:
    return "DISP_CHANGE_RESTART";
  case DISP_CHANGE_FAILED:
    return "DISP_CHANGE_FAILED";
  case DISP_CHANGE_BADMODE:
    return "DISP_CHANGE_BADMODE";
  default:
    return FormatDec(value);
  }
}
