// XML text generator: builds XML by appending groups and typed fields to one
// string. Each field is formatted by its type, checked against its minimum and
// maximum length and its required flag; every problem becomes a readable alert
// line and generation goes on (nothing here raises on bad data). A second,
// line-oriented text can be filled from a layout template; it stays inert
// while the template is empty.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/variant.h"
#include "vfpe/tipo_campo.h"

namespace pagvigia {

enum TFormatoGravacao { fgXML = 0, fgTXT = 1 };

class TGeradorOpcoes {
 public:
  // Current indentation depth; only wGrupo moves it.
  std::int32_t NivelIdentacao() const { return FNivelIdentacao; }

  char DecimalChar = '.';                 // decimal separator of decimal fields
  bool SomenteValidar = false;            // check and record alerts, write nothing
  bool IdentarXML = false;                // one element per line, indented, CR LF
  bool RetirarEspacos = true;             // text filter: collapse runs of spaces
  bool RetirarAcentos = true;             // text filter: remove accents
  std::int32_t TamanhoIdentacao = 3;      // spaces per indentation level
  bool SuprimirDecimais = false;          // whole decimal values without decimals
  bool TagVaziaNoFormatoResumido = true;  // required empty element as <TAG/>
  std::string FormatoAlerta = "TAG:%TAGNIVEL% ID:%ID%/%TAG%(%DESCRICAO%) - %MSG%.";
  std::string QuebraLinha;                // kept with the options; fields always use ";"

 private:
  friend class TGerador;
  std::int32_t FNivelIdentacao = 0;
};

// Texts of the alerts the generator records.
inline constexpr const char* kAlertaNenhumValor = "Nenhum valor informado";
inline constexpr const char* kAlertaTamanhoMenor = "Tamanho menor que o mínimo permitido";
inline constexpr const char* kAlertaTamanhoMaior = "Tamanho maior que o máximo permitido";
inline constexpr const char* kAlertaConteudoInvalido = "Conteúdo inválido";
inline constexpr const char* kAlertaCasasDecimais = "Numero máximo de casas decimais permitidas ";

// True exactly for 1899-12-30, the zero point of the date-time scale, which
// stands for an unset date.
bool IsEmptyDate(std::uint16_t wAno, std::uint16_t wMes, std::uint16_t wDia);

class TGerador {
 public:
  TGerador() = default;
  TGerador(const TGerador&) = delete;
  TGerador& operator=(const TGerador&) = delete;

  std::string ArquivoFormatoXML;              // the XML produced so far
  std::string ArquivoFormatoTXT;              // the TXT produced so far
  std::vector<std::string> LayoutArquivoTXT;  // TXT layout; empty = TXT side off
  std::vector<std::string> ListaDeAlertas;    // alert lines, in the order raised
  std::string IDNivel;                        // upper-cased ID of the group last opened
  TGeradorOpcoes Opcoes;
  std::string Prefixo;                        // element prefix of the prefixed variants

  // "|a|b|" lists (SubStrEmSubStr): groups kept out of the path, and groups
  // written one level further out. Both empty at first.
  const std::string& IgnorarTagNivel() const { return FIgnorarTagNivel; }
  void SetIgnorarTagNivel(std::string AValue) { FIgnorarTagNivel = std::move(AValue); }
  const std::string& IgnorarTagIdentacao() const { return FIgnorarTagIdentacao; }
  void SetIgnorarTagIdentacao(std::string AValue) { FIgnorarTagIdentacao = std::move(AValue); }

  // The path of the open groups, "<tag>" each, outermost first (alert lines).
  const std::string& TagNivel() const { return FTagNivel; }

  void addStringArquivoXML(std::string_view Value) { ArquivoFormatoXML.append(Value); }
  void wTexto(std::string_view Texto) { ArquivoFormatoXML.append(Texto); }

  // Opening tag "<TAG>", or closing tag when TAG begins with "/". TAG may
  // carry attributes after the name, written verbatim. TAG must not be empty.
  void wGrupo(const std::string& TAG, const std::string& ID = "", bool Identar = true);

  // Formats, checks and writes one element. ocorrencias is 1 for a required
  // element, 0 for an optional one. Raises EConvertError only when a date,
  // time or Boolean field gets a value that cannot be converted.
  void wCampo(TTipoCampo Tipo, std::string ID, std::string TAG, std::int16_t min,
              std::int16_t max, std::int16_t ocorrencias, const TVariant& valor,
              const std::string& Descricao = "", bool ParseTextoXML = true,
              std::string Atributo = "");

  // Records one alert line built from Opcoes.FormatoAlerta (nothing for an
  // empty message).
  void wAlerta(const std::string& ID, const std::string& TAG, const std::string& Descricao,
               const std::string& Alerta);

  // Taxpayer-number fields (CNPJ of companies, CPF of people).
  void wCampoCNPJCPF(const std::string& ID1, const std::string& ID2, const std::string& CNPJCPF,
                     bool obrigatorio = true, bool PreencheZeros = true);
  void wCampoCNPJ(const std::string& ID, const std::string& CNPJ, std::int32_t cPais,
                  bool obrigatorio);
  void wCampoCPF(const std::string& ID, const std::string& CPF, std::int32_t cPais,
                 bool obrigatorio);

  // The same as wCampo / wGrupo with Prefixo in front of the element name.
  void wCampoNFSe(TTipoCampo Tipo, const std::string& ID, const std::string& TAG,
                  std::int16_t min, std::int16_t max, std::int16_t ocorrencias,
                  const TVariant& valor, const std::string& Descricao = "",
                  bool ParseTextoXML = true, const std::string& Atributo = "");
  void wGrupoNFSe(const std::string& TAG, const std::string& ID = "", bool Identar = true);

  // TXT side (active only while LayoutArquivoTXT holds lines).
  void gtNivel(const std::string& ID);
  void gtCampo(const std::string& Tag, const std::string& ConteudoProcessado);
  void gtAjustarRegistros(const std::string& ID);

  // Writes the TXT or the XML text, followed by CR LF, in the ANSI code page
  // (Windows-1252). Returns true; a file error raises platform::FileError.
  bool SalvarArquivo(const std::string& CaminhoArquivo,
                     TFormatoGravacao FormatoGravacao = fgXML) const;

 private:
  std::string Indentacao() const;

  std::string FTagNivel;
  std::string FIgnorarTagNivel;
  std::string FIgnorarTagIdentacao;
};

}  // namespace pagvigia
