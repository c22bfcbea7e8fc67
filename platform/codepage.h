// Conversions between the program's UTF-8 text and the 8-bit code pages that
// cross its edges: Windows-1252 (the Integrador's files and the logs) and
// ISO 8859-1 (the database connection's character set).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace pagvigia::platform {

// UTF-8 to the program's ANSI code page and back: Windows-1252 on every
// platform, whatever code page the system is set to (a Windows machine may
// be set to UTF-8, 65001), since the Integrador's files, the logs and the
// database's NONE text are Windows-1252 by the program's convention. The
// same table as Utf8ToCp1252/Cp1252ToUtf8. A character Windows-1252 cannot
// hold (no best-fit look-alikes), and every byte that is not part of a valid
// UTF-8 sequence, becomes "?". Never fails: a non-empty text never gives an
// empty one.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// Makes the process's own character type UTF-8 (POSIX: LC_CTYPE "C.UTF-8",
// whatever locale the service manager or the shell hands it), so that the
// database client library reads the program's UTF-8 paths as UTF-8. Other
// categories (numbers, dates) stay "C". Nothing to do on Windows, where every
// path goes through the wide functions. Call first thing in main.
void UseUtf8CharacterType();

// UTF-8 to Windows-1252 and back by the table, on every platform. The five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 controls of the same value.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view cp1252);
// The text as it survives a trip through the ANSI code page.
std::string AnsiRoundTrip(std::string_view utf8);

// UTF-8 to ISO 8859-1 and back ("?" for what Latin-1 cannot hold).
std::string Utf8ToLatin1(std::string_view utf8);
std::string Latin1ToUtf8(std::string_view latin1);

// UTF-16 (little or big endian bytes) to UTF-8; unpaired surrogates become "?".
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian);

// Decodes one character at `pos`; returns its byte length (1 for an invalid
// byte, which then counts as one character) and stores the code point
// (0xFFFD for an invalid byte) in `cp` when given.
std::size_t Utf8Decode(std::string_view s, std::size_t pos, char32_t* cp = nullptr);
void Utf8Append(std::string& out, char32_t cp);
// Number of characters (not bytes) in a UTF-8 text.
std::size_t Utf8Length(std::string_view s);
// 1-based position of the character that holds byte `byteOffset`. A byte
// search can land inside a character only in text that is not clean UTF-8;
// the position is then that character's, never past the text's length.
std::size_t Utf8CharPosition(std::string_view s, std::size_t byteOffset);
// Byte offset of character index `chars` (clamped to the end).
std::size_t Utf8Offset(std::string_view s, std::size_t chars);
// The first `chars` characters.
std::string Utf8Left(std::string_view s, std::size_t chars);
// `count` characters from character index `start` (0-based).
std::string Utf8Mid(std::string_view s, std::size_t start, std::size_t count);

}  // namespace pagvigia::platform
