// Text and number utilities shared by the Integrador client, the XML
// generator and writers and the XML reader.
//
// Text is UTF-8. Positions and lengths count characters (not bytes) and
// positions are 1-based, 0 meaning "not found". "Blank" is any character with
// code 32 or less (space and control characters), as removed by Trim.
//
// The system number format used by this program is fixed, whatever the
// locale of the machine: decimal separator ".", thousands separator ","
// (see SystemFormatSettings()).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia {

// A text that cannot be converted to a number, date or other value.
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// The separators of the system number format.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
};
// The fixed system number format: "." decimal, "," thousands.
const TFormatSettings& SystemFormatSettings();

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
// Decimal text of an integer ("-" for negatives).
std::string IntToStr(std::int64_t value);
// A whole decimal integer (optional sign, blanks around allowed) or a
// hexadecimal one written "$FF" / "0xFF"; raises EConvertError otherwise or
// when it does not fit 32 bits.
std::int32_t StrToInt(std::string_view s);
std::int32_t StrToIntDef(std::string_view s, std::int32_t def);
std::int64_t StrToInt64(std::string_view s);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t def);
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
// The digits "0" to "9" of the text, in order.
std::string OnlyNumber(std::string_view AValue);
// The text unchanged.
std::string StrNativa(std::string_view AString);
// The text as it survives the ANSI code page ("?" for what it cannot hold).
std::string StrToAnsi(std::string_view AString);
// Shorter than nLen characters: Caracter repeated in front up to nLen
// characters; otherwise the first nLen characters.
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
// Plain 7-bit text: accented letters of the Windows-1252 layout replaced by
// their base letters, any other unprintable byte (except BS, LF and CR) by a
// space, characters outside the code page by "?".
std::string TiraAcentos(std::string_view AString);
// One Windows-1252 byte with its accent removed (bytes below 0xC0 unchanged).
unsigned char TiraAcento(unsigned char AChar);
// CR LF and lone CR become LF, then LF becomes NewLineBreak. A text that is
// blank is returned unchanged.
std::string ChangeLineBreak(std::string_view AText, std::string_view NewLineBreak = ";");
// XML-safe text: accents removed (RetirarAcentos), ANSI round trip, the five
// XML special characters escaped, runs of spaces collapsed (RetirarEspacos),
// line breaks replaced (SubstituirQuebrasLinha), then trimmed.
std::string FiltrarTextoXML(bool RetirarEspacos, std::string_view aTexto, bool RetirarAcentos = true,
                            bool SubstituirQuebrasLinha = true, std::string_view QuebraLinha = ";");
// Inverse escaping used by the reader: the five named escapes (ampersand
// first), then "&#x..;" hexadecimal references decoded two digits per
// character (raises EConvertError for digits that are not hexadecimal), then
// trimmed.
std::string ReverterFiltroTextoXML(std::string_view aTexto);
// Hexadecimal digits, two per character (each pair one code 0..255, written
// as UTF-8; a last single digit is one character of its own value). Raises
// EConvertError for digits that are not hexadecimal.
std::string HexToAscii(std::string_view Texto);
// Taxpayer numbers with their modulo-11 check digits; ".", "/" and "-" are
// ignored.
bool ValidarCNPJ(std::string_view numero);
bool ValidarCPF(std::string_view numero);

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

// NumString trimmed, every "." and "," taken as the decimal separator, then
// converted. No thousands separators: "1.234,56" raises EConvertError, as does
// any text that is not a number.
double StringToFloat(std::string_view NumString);
// DefaultValue when NumString is empty or does not convert.
double StringToFloatDef(std::string_view NumString, double DefaultValue);
// "0" for DecimalDigits <= 0; otherwise ("," when UseThousandSeparator) +
// "0." + DecimalDigits zeros.
std::string FloatMask(int DecimalDigits = 2, bool UseThousandSeparator = false);
// AValue formatted with the mask AFormat (the shortest general form when
// empty) in the system format, thousands separators removed and the decimal
// separator replaced by SeparadorDecimal.
std::string FloatToString(double AValue, char SeparadorDecimal = '.', std::string_view AFormat = "");
// AValue formatted with a number mask: "0" digit placeholders, "#" optional
// digits, "." the decimal point, "," anywhere before it for thousands
// grouping; text in quotes and other characters are copied. Rounds half away
// from zero on the value's 18 significant decimal digits.
std::string FormatFloat(std::string_view AFormat, double AValue,
                        const TFormatSettings& fs = SystemFormatSettings());
// The shortest general form: up to 15 significant digits, exponent form
// ("1.5E20") for very large or small values.
std::string FloatToStr(double AValue, const TFormatSettings& fs = SystemFormatSettings());

// ---------------------------------------------------------------------------
// Files and lists
// ---------------------------------------------------------------------------

// APath trimmed, with the platform's path delimiter appended unless it is
// empty or already ends with it.
std::string PathWithDelim(std::string_view APath);

enum class TFindFilesSortType { fstNone, fstDateTime, fstFileName };
enum class TFindFilesSortDirection { sdAscending, sdDescending };
// AStringList emptied, then filled with the entries (files and folders) that
// match the mask ("*" and "?"), in directory order unless sorted; with
// IncludePath each carries the mask's folder part.
void FindFiles(std::string_view FileMask, std::vector<std::string>& AStringList, bool IncludePath = true,
               TFindFilesSortType SortType = TFindFilesSortType::fstNone,
               TFindFilesSortDirection SortDirection = TFindFilesSortDirection::sdAscending);
// True when some entry other than "." and ".." matches the name or mask.
bool FilesExists(std::string_view FileName);
// Writes bytes to a file: nothing when ArqTXT is empty, or when the file
// exists and the bytes are empty; appends when AppendIfExists and the file
// exists, otherwise creates or truncates; CR LF after the bytes when
// AddLineBreak; creates the folder chain when ForceDirectory. Raises
// platform::FileError.
void WriteToTXT(std::string_view ArqTXT, std::string_view ABinaryString, bool AppendIfExists = true,
                bool AddLineBreak = true, bool ForceDirectory = false);
// Creates or overwrites the file with exactly these bytes.
void WriteToFile(std::string_view Arq, std::string_view ABinaryString);
// Appends the bytes and CR LF; every error ignored. With Traduz the UTF-8
// text is converted to Windows-1252 first, otherwise bytes go unchanged.
void WriteLog(std::string_view ArqTXT, std::string_view ABinaryString, bool Traduz = false);
// AText split at every ADelimiter, pieces appended to AStringList; returns
// their number (0 and nothing added for an empty text). With a quote
// character other than '\0', a piece that begins with it runs to its closing
// quote (doubled quotes stand for one) and may hold delimiters.
int AddDelimitedTextToList(std::string_view AText, char ADelimiter, std::vector<std::string>& AStringList,
                           char AQuoteChar = '"');

}  // namespace pagvigia
