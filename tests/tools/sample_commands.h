// Hand-written command texts of the four VFP-e methods and of the generic
// call, as the client writes them into the Integrador's input folder.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace pagvigia::testing {

// The payment request of the worked example, byte for byte.
inline std::string EnviarPagamentoExemplo(int sessao = 483920) {
  return "<Integrador><Identificador><Valor>" + std::to_string(sessao) +
         "</Valor></Identificador>"
         "<Componente Nome=\"VFP-e\"><Metodo Nome=\"EnviarPagamento\">"
         "<Construtor><Parametros><Parametro><Nome>chaveAcessoValidador</Nome><Valor>"
         "25CFE38D-3B92-46C0-91CA-CFF751A82D3D"
         "</Valor></Parametro></Parametros></Construtor><Parametros>"
         "<Parametro><Nome>ChaveRequisicao</Nome><Valor>"
         "26359854-5698-1365-9856-965478231456"
         "</Valor></Parametro>"
         "<Parametro><Nome>Estabelecimento</Nome><Valor>15</Valor></Parametro>"
         "<Parametro><Nome>SerialPos</Nome><Valor>5C219486</Valor></Parametro>"
         "<Parametro><Nome>Cnpj</Nome><Valor>11222333000181</Valor></Parametro>"
         "<Parametro><Nome>IcmsBase</Nome><Valor>0.00</Valor></Parametro>"
         "<Parametro><Nome>ValorTotalVenda</Nome><Valor>25.50</Valor></Parametro>"
         "<Parametro><Nome>HabilitarMultiplosPagamentos</Nome><Valor>false</Valor></Parametro>"
         "<Parametro><Nome>HabilitarControleAntiFraude</Nome><Valor>false</Valor></Parametro>"
         "<Parametro><Nome>CodigoMoeda</Nome><Valor>BRL</Valor></Parametro>"
         "<Parametro><Nome>EmitirCupomNFCE</Nome><Valor>false</Valor></Parametro>"
         "<Parametro><Nome>OrigemPagamento</Nome><Valor/></Parametro>"
         "</Parametros></Metodo></Componente></Integrador>";
}

using Pares = std::vector<std::pair<std::string, std::string>>;

// A VFP-e command: envelope, constructor with the access key, parameters.
inline std::string ComandoVfpe(int sessao, const std::string& metodo, const Pares& parametros,
                               const std::string& chave = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D") {
  std::string s = "<Integrador><Identificador><Valor>" + std::to_string(sessao) +
                  "</Valor></Identificador><Componente Nome=\"VFP-e\"><Metodo Nome=\"" + metodo +
                  "\"><Construtor><Parametros><Parametro><Nome>chaveAcessoValidador</Nome><Valor>" + chave +
                  "</Valor></Parametro></Parametros></Construtor><Parametros>";
  for (const auto& [n, v] : parametros)
    s += "<Parametro><Nome>" + n + "</Nome>" + (v.empty() ? "<Valor/>" : "<Valor>" + v + "</Valor>") + "</Parametro>";
  return s + "</Parametros></Metodo></Componente></Integrador>";
}

inline std::string EnviarStatusPagamentoExemplo(int sessao) {
  return ComandoVfpe(sessao, "EnviarStatusPagamento",
                     {{"CodigoAutorizacao", "123456"}, {"Bin", "411111"}, {"DonoCartao", "JOSE DA SILVA"},
                      {"DataExpiracao", "12/30"}, {"InstituicaoFinanceira", "BANCO"}, {"Parcelas", "1"},
                      {"CodigoPagamento", "123456"}, {"ValorPagamento", "10.50"}, {"idFila", "101"},
                      {"Tipo", "VISA"}, {"UltimosQuatroDigitos", "1234"}});
}

inline std::string RespostaFiscalExemplo(int sessao) {
  return ComandoVfpe(sessao, "RespostaFiscal",
                     {{"idFila", "101"}, {"ChaveAcesso", "CFe35201211222333000181599000001230000012345678"},
                      {"Nsu", "123456"}, {"NumerodeAprovacao", "654321"}, {"Bandeira", "VISA"},
                      {"Adquirente", "REDE"}, {"CNPJ", "11222333000181"},
                      {"ImpressaoFiscal", "&lt;CFe&gt;&lt;infCFe versao=&quot;0.08&quot;&gt;;&lt;/infCFe&gt;&lt;/CFe&gt;"},
                      {"NumeroDocumento", "123"}});
}

inline std::string VerificarStatusValidadorExemplo(int sessao) {
  return ComandoVfpe(sessao, "VerificarStatusValidador", {{"idFila", "101"}, {"cnpj", "11222333000181"}});
}

// The generic call ConsultarNumeroSessaoIntegrador.
inline std::string ConsultarNumeroSessaoExemplo(int sessao, int consultada) {
  return "<Integrador><Identificador><Valor>" + std::to_string(sessao) +
         "</Valor></Identificador><Componente Nome=\"ConsultaNumeroSessao\"><Metodo Nome=\"numeroSessao\">"
         "<Parametros><Parametro><Nome>numeroSessao</Nome><Valor>" +
         std::to_string(consultada) + "</Valor></Parametro></Parametros></Metodo></Componente></Integrador>";
}

}  // namespace pagvigia::testing
