// Accent removal: Windows-1252 letters to their plain base letters.
#include "util/acentos.h"

#include "platform/codepage.h"

namespace pagvigia {

unsigned char TiraAcento(unsigned char c) {
  if (c < 0xC0) return c;
  if (c <= 0xC6) return 'A';
  if (c == 0xC7) return 'C';
  if (c <= 0xCB) return 'E';
  if (c <= 0xCF) return 'I';
  if (c == 0xD0) return 'D';
  if (c == 0xD1) return 'N';
  if (c <= 0xD6) return 'O';
  if (c == 0xD7) return 'x';
  if (c == 0xD8) return '0';
  if (c <= 0xDC) return 'U';
  if (c == 0xDD) return 'Y';
  if (c == 0xDE) return 'b';
  if (c == 0xDF) return 'B';
  if (c <= 0xE6) return 'a';
  if (c == 0xE7) return 'c';
  if (c <= 0xEB) return 'e';
  if (c <= 0xEF) return 'i';
  if (c == 0xF0) return 'o';
  if (c == 0xF1) return 'n';
  if (c <= 0xF6) return 'o';
  if (c == 0xF7) return '/';
  if (c == 0xF8) return '0';
  if (c <= 0xFC) return 'u';
  if (c == 0xFE) return 'b';
  return 'y';  // 0xFD, 0xFF
}

std::string TiraAcentos(std::string_view AString) {
  std::string bytes = platform::Utf8ToAnsi(AString);
  for (char& ch : bytes) {
    const unsigned char m = TiraAcento(static_cast<unsigned char>(ch));
    const bool keep = m == 8 || m == 10 || m == 13 || (m >= 32 && m <= 126);
    ch = keep ? static_cast<char>(m) : ' ';
  }
  return bytes;  // 7-bit only: valid UTF-8 as it stands
}

}  // namespace pagvigia
