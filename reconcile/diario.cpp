// The journal of recorded steps: its file format and its durable writes.
#include "reconcile/diario.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

#include "platform/files.h"

namespace pagvigia {

namespace {

constexpr std::string_view kCabecalho = "Pagvigia diario 1";
constexpr std::string_view kFimLinha = "\r\n";
constexpr TEtapa kEtapas[] = {etPagamento, etStatusPagamento, etRespostaFiscal};

std::uint64_t Fnv1a64(std::string_view bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string Hex16(std::uint64_t v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

// Reads the journal front to back; every departure from the format raises.
class TLeitura {
 public:
  explicit TLeitura(std::string_view bytes) : FBytes(bytes) {}

  // The next line, without its CR LF.
  std::string_view Linha() {
    const auto fim = FBytes.find(kFimLinha, FPos);
    if (fim == std::string_view::npos) Falha("a line has no end (the file is cut short)");
    std::string_view l = FBytes.substr(FPos, fim - FPos);
    FPos = fim + kFimLinha.size();
    return l;
  }
  // `n` bytes followed by CR LF.
  std::string_view Bytes(std::uint64_t n) {
    if (n > FBytes.size() - FPos || FBytes.substr(FPos + n, kFimLinha.size()) != kFimLinha)
      Falha("an entry is shorter than it says (the file is cut short)");
    std::string_view v = FBytes.substr(FPos, n);
    FPos += n + kFimLinha.size();
    return v;
  }
  std::size_t Posicao() const { return FPos; }
  bool NoFim() const { return FPos == FBytes.size(); }

  [[noreturn]] static void Falha(const std::string& motivo) { throw EDiarioIlegivel(motivo); }

 private:
  std::string_view FBytes;
  std::size_t FPos = 0;
};

// Splits a line at single blanks.
std::vector<std::string_view> Campos(std::string_view linha) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  for (;;) {
    const auto b = linha.find(' ', pos);
    out.push_back(linha.substr(pos, b == std::string_view::npos ? std::string_view::npos : b - pos));
    if (b == std::string_view::npos) return out;
    pos = b + 1;
  }
}

template <class T>
T Numero(std::string_view texto, const char* oQue) {
  T v{};
  auto [p, ec] = std::from_chars(texto.data(), texto.data() + texto.size(), v);
  if (texto.empty() || ec != std::errc() || p != texto.data() + texto.size())
    TLeitura::Falha(std::string("bad ") + oQue + " \"" + std::string(texto) + "\"");
  return v;
}

}  // namespace

std::string_view ColunaDaEtapa(TEtapa etapa) {
  switch (etapa) {
    case etPagamento: return "MFE_IDPAGAMENTO";
    case etStatusPagamento: return "MFE_IDSTATUSVALIDADOR";
    case etRespostaFiscal: return "MFE_IDRESPOSTAFISCAL";
  }
  return "";
}

TEntradaDiario EnvioPendente(std::int64_t idInterno, TEtapa etapa, std::int32_t sessao, std::string arquivo,
                             std::string desde) {
  TEntradaDiario e;
  e.IdInterno = idInterno;
  e.Etapa = etapa;
  e.Enviando = true;
  e.Sessao = sessao;
  e.ArquivoComando = std::move(arquivo);
  e.Desde = std::move(desde);
  return e;
}

namespace {

// Puts `entrada` in place of the entry of its row and step, or at the end.
void Substituir(std::vector<TEntradaDiario>& entradas, const TEntradaDiario& entrada) {
  auto it = std::find_if(entradas.begin(), entradas.end(), [&](const TEntradaDiario& e) {
    return e.IdInterno == entrada.IdInterno && e.Etapa == entrada.Etapa;
  });
  if (it != entradas.end())
    *it = entrada;
  else
    entradas.push_back(entrada);
}

}  // namespace

TDiario::TDiario(std::string arquivo) : FArquivo(std::move(arquivo)) {}

std::string TDiario::Serializar(const std::vector<TEntradaDiario>& entradas) {
  std::string out;
  out.append(kCabecalho).append(kFimLinha);
  for (const auto& e : entradas) {
    if (e.Enviando) {
      out.append("I ")
          .append(std::to_string(e.IdInterno))
          .append(" ")
          .append(ColunaDaEtapa(e.Etapa))
          .append(" ")
          .append(std::to_string(e.Sessao))
          .append(" ")
          .append(e.Desde)
          .append(" ")
          .append(std::to_string(e.ArquivoComando.size()))
          .append(kFimLinha);
      out.append(e.ArquivoComando).append(kFimLinha);
      continue;
    }
    out.append("E ")
        .append(std::to_string(e.IdInterno))
        .append(" ")
        .append(ColunaDaEtapa(e.Etapa))
        .append(" ")
        .append(std::to_string(e.Id.size()))
        .append(" ")
        .append(std::to_string(e.XML.size()))
        .append(kFimLinha);
    out.append(e.Id).append(kFimLinha);
    out.append(e.XML).append(kFimLinha);
  }
  const std::string soma = Hex16(Fnv1a64(out));
  out.append("F ").append(std::to_string(entradas.size())).append(" ").append(soma).append(kFimLinha);
  return out;
}

std::vector<TEntradaDiario> TDiario::Interpretar(std::string_view bytes) {
  TLeitura l(bytes);
  if (l.Linha() != kCabecalho) TLeitura::Falha("not a journal of this program (first line)");
  std::vector<TEntradaDiario> out;
  for (;;) {
    const std::size_t inicio = l.Posicao();
    const std::string_view linha = l.Linha();
    const auto c = Campos(linha);
    if (c.size() == 3 && c[0] == "F") {
      if (Numero<std::uint64_t>(c[1], "entry count") != out.size())
        TLeitura::Falha("it holds " + std::to_string(out.size()) + " entries, its last line says " +
                        std::string(c[1]));
      if (c[2] != Hex16(Fnv1a64(bytes.substr(0, inicio)))) TLeitura::Falha("its checksum does not match");
      if (!l.NoFim()) TLeitura::Falha("bytes follow its last line");
      return out;
    }
    const bool envio = c.size() == 6 && c[0] == "I";
    if (!envio && (c.size() != 5 || c[0] != "E"))
      TLeitura::Falha("bad line \"" + std::string(linha.substr(0, 80)) + "\"");
    TEntradaDiario e;
    e.IdInterno = Numero<std::int64_t>(c[1], "row key");
    const auto etapa = std::find_if(std::begin(kEtapas), std::end(kEtapas),
                                    [&](TEtapa t) { return ColunaDaEtapa(t) == c[2]; });
    if (etapa == std::end(kEtapas)) TLeitura::Falha("unknown column \"" + std::string(c[2]) + "\"");
    e.Etapa = *etapa;
    if (envio) {
      e.Enviando = true;
      e.Sessao = Numero<std::int32_t>(c[3], "session number");
      if (c[4].size() != 14 || c[4].find_first_not_of("0123456789") != std::string_view::npos)
        TLeitura::Falha("bad time \"" + std::string(c[4]) + "\"");
      e.Desde = c[4];
      e.ArquivoComando = l.Bytes(Numero<std::uint64_t>(c[5], "file name length"));
      out.push_back(std::move(e));
      continue;
    }
    const auto tamId = Numero<std::uint64_t>(c[3], "id length");
    const auto tamXml = Numero<std::uint64_t>(c[4], "XML length");
    e.Id = l.Bytes(tamId);
    e.XML = l.Bytes(tamXml);
    out.push_back(std::move(e));
  }
}

void TDiario::Carregar() {
  FLegivel = false;
  FEntradas.clear();
  if (!platform::PathExists(FArquivo)) {
    FLegivel = true;
    FEntradas = FSoEmMemoria;
    return;
  }
  std::string bytes;
  try {
    bytes = platform::ReadFileBytes(FArquivo);
    FEntradas = Interpretar(bytes);
  } catch (const EDiarioIlegivel& e) {
    throw EDiarioIlegivel("journal \"" + FArquivo + "\" cannot be read: " + e.what());
  } catch (const platform::FileError& e) {
    throw EDiarioIlegivel("journal \"" + FArquivo + "\" cannot be read: " + e.what());
  }
  FLegivel = true;
  // What could not be written stands over what the file holds.
  for (const auto& e : FSoEmMemoria) Substituir(FEntradas, e);
}

void TDiario::ExigirLegivel() const {
  if (!FLegivel) throw EDiarioIlegivel("journal \"" + FArquivo + "\" has not been read whole");
}

bool TDiario::TemEntrada(std::int64_t idInterno) const {
  return std::any_of(FEntradas.begin(), FEntradas.end(),
                     [&](const TEntradaDiario& e) { return e.IdInterno == idInterno; });
}

const TEntradaDiario* TDiario::Entrada(std::int64_t idInterno, TEtapa etapa) const {
  for (const auto& e : FEntradas)
    if (e.IdInterno == idInterno && e.Etapa == etapa) return &e;
  return nullptr;
}

void TDiario::Gravar(const TEntradaDiario& entrada) {
  ExigirLegivel();
  std::vector<TEntradaDiario> novas = FEntradas;
  Substituir(novas, entrada);
  try {
    platform::ReplaceFileDurably(FArquivo, Serializar(novas), platform::FileAccess::Private);
  } catch (...) {
    // An id the Integrador gave is kept in memory: the row stays held while
    // the process lives. A send that could not be journaled is not made.
    if (!entrada.Enviando) {
      Substituir(FSoEmMemoria, entrada);
      FEntradas = std::move(novas);
    }
    throw;
  }
  FEntradas = std::move(novas);
  FSoEmMemoria.clear();
}

void TDiario::Remover(std::int64_t idInterno, TEtapa etapa) {
  ExigirLegivel();
  std::vector<TEntradaDiario> novas = FEntradas;
  std::erase_if(novas, [&](const TEntradaDiario& e) { return e.IdInterno == idInterno && e.Etapa == etapa; });
  if (novas.size() == FEntradas.size()) return;
  std::erase_if(FSoEmMemoria,
                [&](const TEntradaDiario& e) { return e.IdInterno == idInterno && e.Etapa == etapa; });
  if (novas.empty()) {
    // No entry left: the file goes. Should the deletion not reach the disk
    // before a crash, the old entries come back and are dropped as already
    // recorded.
    if (platform::PathExists(FArquivo) && !platform::DeleteFile(FArquivo))
      platform::ReplaceFileDurably(FArquivo, Serializar(novas), platform::FileAccess::Private);
  } else {
    platform::ReplaceFileDurably(FArquivo, Serializar(novas), platform::FileAccess::Private);
  }
  FEntradas = std::move(novas);
  FSoEmMemoria.clear();
}

}  // namespace pagvigia
