#include "util/VornCliSiTefUtil.h"

#include <cctype>
#include <cstdlib>

#include "platform/Platform.h"
#include "util/Exception.h"
#include "util/VornString.h"

namespace {

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

AnsiStringView TrimAnsi(AnsiStringView text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlankOrControl(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Accepts [sign] digits [mark digits] [e [sign] digits] with at least one digit.
bool IsDecimalNumber(const std::string& text) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
    }
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    ++i;
  }
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) {
    return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      ++i;
    }
    if (digits() == 0) {
      return false;
    }
  }
  return i == text.size();
}

}  // namespace

std::string VornCliSiTefStr(AnsiStringView ansi) {
  return platform::Current().AnsiToUtf8(AnsiBytes(ansi));
}

AnsiString VornAnsiStr(std::string_view utf8) {
  return AnsiFromBytes(platform::Current().Utf8ToAnsi(utf8));
}

AnsiString padL(AnsiStringView text, int n, char fill) {
  const auto width = static_cast<std::size_t>(n < 0 ? 0 : n);
  if (text.size() >= width) {
    return AnsiString(text.substr(0, width));
  }
  return AnsiString(text) + AnsiString(width - text.size(), fill);
}

AnsiString padR(AnsiStringView text, int n, char fill) {
  const auto width = static_cast<std::size_t>(n < 0 ? 0 : n);
  if (text.size() >= width) {
    return AnsiString(text.substr(0, width));
  }
  return AnsiString(width - text.size(), fill) + AnsiString(text);
}

AnsiString Poem_Zeros(AnsiStringView text, int n) {
  return padR(TrimAnsi(text), n, '0');
}

AnsiString IntToStrZero(std::int64_t value, int n) {
  return Poem_Zeros(AnsiFromBytes(std::to_string(value)), n);
}

bool CharIsNum(char c) {
  return c >= '0' && c <= '9';
}

std::string OnlyNumber(AnsiStringView text) {
  std::string digits;
  for (const char c : text) {
    if (CharIsNum(c)) {
      digits += c;
    }
  }
  return digits;
}

double StringToFloat(const std::string& text) {
  std::string normalized = Trim(text);
  for (char& c : normalized) {
    if (c == ',') {
      c = '.';
    }
  }
  // Both marks now read as decimal marks, so a text that held both has two.
  if (!IsDecimalNumber(normalized)) {
    throw EConvertError("'" + text + "' não é um valor de ponto flutuante válido");
  }
  return std::strtod(normalized.c_str(), nullptr);
}

double StringToFloatDef(const std::string& text, double fallback) {
  try {
    return StringToFloat(text);
  } catch (const EConvertError&) {
    return fallback;
  }
}

AnsiString BinaryStringToString(AnsiStringView text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  AnsiString out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte > 127) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

AnsiString StringToBinaryString(AnsiStringView text) {
  AnsiString out(text);
  std::size_t first = out.find("\\x");
  while (first != AnsiString::npos) {
    // The (up to) two characters after the first escape decide its replacement,
    // which then stands for every copy of the same escape in the text.
    const AnsiString escape = out.substr(first, 4);
    const AnsiString digits = escape.substr(2);
    char replacement = ' ';
    if (digits.size() == 2 && HexValue(digits[0]) >= 0 && HexValue(digits[1]) >= 0) {
      replacement = static_cast<char>(HexValue(digits[0]) * 16 + HexValue(digits[1]));
    }
    AnsiString replaced;
    replaced.reserve(out.size());
    std::size_t from = 0;
    for (std::size_t at = out.find(escape); at != AnsiString::npos;
         at = out.find(escape, at + escape.size())) {
      replaced.append(out, from, at - from);
      replaced += replacement;
      from = at + escape.size();
    }
    replaced.append(out, from, AnsiString::npos);
    out = std::move(replaced);
    first = out.find("\\x");
  }
  return out;
}

std::string PathWithDelim(const std::string& path) {
  std::string trimmed = Trim(path);
  const char delimiter = platform::Current().PathDelimiter();
  if (!trimmed.empty() && trimmed.back() != delimiter) {
    trimmed += delimiter;
  }
  return trimmed;
}

void FindFiles(const std::string& mask, std::vector<std::string>& list, bool withPath) {
  list.clear();
  const auto delimiter = mask.find_last_of(platform::Current().PathDelimiter());
  const std::string folder = delimiter == std::string::npos ? "" : mask.substr(0, delimiter + 1);
  for (const std::string& name : platform::Current().FindFiles(mask)) {
    list.push_back(withPath ? folder + name : name);
  }
}

bool FilesExists(const std::string& mask) {
  return !platform::Current().FindFiles(mask).empty();
}

void WriteToTXT(const AnsiString& fileName, const AnsiString& text, bool append, bool lineBreak) {
  std::string bytes(AnsiBytes(text));
  if (lineBreak) {
    bytes += "\r\n";
  }
  platform::Current().WriteFile(std::string(AnsiBytes(fileName)), bytes, append);
}

bool FlushFileToDisk(const std::string& fileName) {
  return platform::Current().FlushFileToDisk(fileName);
}

void RunCommand(const std::string& program, const std::string& parameters, bool wait,
                std::uint16_t showWindow) {
  const std::string path = Trim(program);
  const std::string arguments = Trim(parameters);
  if (wait) {
    const auto delimiter = path.find_last_of(platform::Current().PathDelimiter());
    const std::string folder = delimiter == std::string::npos ? "" : path.substr(0, delimiter);
    const std::string commandLine = arguments.empty() ? path : path + " " + arguments;
    platform::Current().RunAndWait(commandLine, folder, showWindow);
  } else {
    platform::Current().ShellOpen(path, arguments, showWindow);
  }
}

bool FunctionDetect(const std::string& library, const std::string& function, void*& address) {
  void* module = nullptr;
  return FunctionDetect(library, function, address, module);
}

bool FunctionDetect(const std::string& library, const std::string& function, void*& address,
                    void*& module) {
  module = platform::Current().LoadLibrary(library);
  address = platform::Current().FindSymbol(module, function);
  return address != nullptr;
}

bool UnLoadLibrary(const AnsiString& library) {
  void* module = platform::Current().LoadedLibrary(std::string(AnsiBytes(library)));
  return module == nullptr || platform::Current().FreeLibrary(module);
}

const OptionalSystemFunctions& SystemFunctions() {
  static const OptionalSystemFunctions functions = [] {
    OptionalSystemFunctions found;
    FunctionDetect("inpout32.dll", "Inp32", found.Inp32);
    FunctionDetect("inpout32.dll", "Out32", found.Out32);
    FunctionDetect("USER32.DLL", "BlockInput", found.BlockInput);
    return found;
  }();
  return functions;
}

namespace {
// The optional functions are looked up once, when the program starts.
[[maybe_unused]] const OptionalSystemFunctions& startupLookup = SystemFunctions();
}  // namespace
