// Accent removal for the plain 7-bit text of the Integrador's command files.
//
// Text is UTF-8 in and 7-bit ASCII (therefore also UTF-8) out; TiraAcento
// works on one Windows-1252 byte. Stateless, thread-safe, never raises apart
// from std::bad_alloc.
#pragma once
#include <string>
#include <string_view>

namespace pagvigia {

// Plain 7-bit text: the text converted to Windows-1252 (characters outside
// the code page become "?"), accented letters replaced by their base letters
// (TiraAcento), any other byte that is not printable (except BS, LF and CR,
// so tabs included) by a space.
std::string TiraAcentos(std::string_view AString);
// One Windows-1252 byte with its accent removed (bytes below 0xC0 unchanged).
unsigned char TiraAcento(unsigned char AChar);

}  // namespace pagvigia
