// Escaping of text for the XML that the generator writes, and the inverse
// escaping the reader applies to the text of answers. XML here is plain
// string handling, never a document parser.
//
// Text is UTF-8 in and out. Stateless and thread-safe. Failure:
// HexToAscii raises EConvertError (util/conversao.h) for digits that are not
// hexadecimal; ReverterFiltroTextoXML never raises for its input (a
// reference it cannot decode stays as it stands).
#pragma once
#include <string>
#include <string_view>

namespace pagvigia {

// XML-safe text: accents removed (RetirarAcentos, see TiraAcentos), ANSI
// round trip, the five XML special characters escaped ("&" first, so the
// entities inserted are not escaped again), runs of spaces collapsed
// (RetirarEspacos), line breaks replaced by QuebraLinha
// (SubstituirQuebrasLinha), then trimmed of blanks.
std::string FiltrarTextoXML(bool RetirarEspacos, std::string_view aTexto, bool RetirarAcentos = true,
                            bool SubstituirQuebrasLinha = true, std::string_view QuebraLinha = ";");
// Inverse escaping used by the reader: the five named escapes (ampersand
// first), then "&#x..;" hexadecimal references decoded two digits per
// character (a reference whose digits are not hexadecimal is kept as it
// stands), then trimmed of blanks.
std::string ReverterFiltroTextoXML(std::string_view aTexto);
// Hexadecimal digits, two per character (each pair one code 0..255, written
// as UTF-8; a last single digit is one character of its own value). Raises
// EConvertError for digits that are not hexadecimal.
std::string HexToAscii(std::string_view Texto);

}  // namespace pagvigia
