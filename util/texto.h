// General text helpers shared by the Integrador client, the XML generator and
// writers and the XML reader.
//
// Text is UTF-8 and every function takes its arguments by view and returns a
// new string (or fills a list the caller owns); nothing is kept between calls
// and all functions may be called from any thread. Positions and lengths
// count characters (not bytes) and positions are 1-based, 0 meaning "not
// found". "Blank" is any character with code 32 or less (space and control
// characters), as removed by Trim. Letters are compared and changed in ASCII
// only. None of these functions raises, apart from std::bad_alloc.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia {

// ---------------------------------------------------------------------------
// General string helpers
// ---------------------------------------------------------------------------

// Blanks (code <= 32) removed at both ends / at the start / at the end.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// ASCII letters only are changed; other characters stay as they are.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Case-insensitive comparison of ASCII letters.
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);  // ASCII case ignored
bool StartsStr(std::string_view prefix, std::string_view s);
bool EndsStr(std::string_view suffix, std::string_view s);
// Every occurrence of `from` replaced by `to`, left to right, without
// rescanning the replacement text. An empty `from` leaves `s` unchanged.
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);
// Only the first occurrence.
std::string StringReplaceFirst(std::string_view s, std::string_view from, std::string_view to);
// Number of characters of a UTF-8 text.
std::size_t Length(std::string_view s);
// 1-based character position of the first `sub` in `s`, 0 when none (or when
// `sub` is empty).
std::size_t Pos(std::string_view sub, std::string_view s);
// `count` characters from 1-based character position `index` (clamped:
// index < 1 counts as 1, past the end gives "").
std::string Copy(std::string_view s, std::ptrdiff_t index, std::ptrdiff_t count);
// A text repeated `count` times.
std::string DupeString(std::string_view s, std::size_t count);

// ---------------------------------------------------------------------------
// Text tests and cleaning
// ---------------------------------------------------------------------------

// True when the text is empty (no trimming).
bool EstaVazio(std::string_view AValue);
bool NaoEstaVazio(std::string_view AValue);
// True for "0" to "9" only.
bool CharIsNum(char32_t C);
// True when S is not empty and every character is a digit "0" to "9".
bool StrIsNumber(std::string_view S);
bool ValidarNumeros(std::string_view s);
// The digits "0" to "9" of the text, in order (digits of other scripts are
// not digits here). The one digit filter of the program.
std::string OnlyNumber(std::string_view AValue);
// The text unchanged.
std::string StrNativa(std::string_view AString);
// The text as it survives the ANSI code page ("?" for what it cannot hold).
std::string StrToAnsi(std::string_view AString);
// Shorter than nLen characters: Caracter repeated in front up to nLen
// characters; otherwise the first nLen characters ("" for nLen <= 0).
std::string PadLeft(std::string_view AString, int nLen, char32_t Caracter = U' ');
// 1-based character position of SubStr in S at or after character position
// Offset; 0 when none (or when SubStr is empty or Offset is past the end).
std::size_t RetornarPosEx(std::string_view SubStr, std::string_view S, std::size_t Offset = 1);
// The text between Inicio and the first Fim after it (with both when
// IncluiInicioFim); "" when Inicio does not occur.
std::string RetornarConteudoEntre(std::string_view Frase, std::string_view Inicio,
                                  std::string_view Fim, bool IncluiInicioFim = false);
// SubStr2 is a list "|item|item|...|": true when SubStr1 begins with one of
// the items (an item not followed by "|" is not examined).
bool SubStrEmSubStr(std::string_view SubStr1, std::string_view SubStr2);
// CR LF and lone CR become LF, then LF becomes NewLineBreak. A text that is
// blank is returned unchanged.
std::string ChangeLineBreak(std::string_view AText, std::string_view NewLineBreak = ";");
// AText split at every ADelimiter, pieces appended to AStringList (which the
// caller owns; earlier entries stay); returns their number (0 and nothing
// added for an empty text). With a quote character other than '\0', a piece
// that begins with it runs to its closing quote (doubled quotes stand for
// one) and may hold delimiters.
int AddDelimitedTextToList(std::string_view AText, char ADelimiter, std::vector<std::string>& AStringList,
                           char AQuoteChar = '"');

}  // namespace pagvigia
