// The SQL of the shop's optional table of unfinished sends.
#include "reconcile/envios_pendentes.h"

#include "db/fb_query.h"

namespace pagvigia {

std::vector<std::string> SqlExisteTabelaEnvios() {
  return {"SELECT COUNT(*) AS N FROM RDB$RELATIONS", "WHERE RDB$RELATION_NAME = 'PAGVIGIA_ENVIOS_PENDENTES'"};
}

std::vector<std::string> SqlEnviosDaLinha() {
  return {"SELECT IDCAIXA, ETAPA, SESSAO, DESDE FROM PAGVIGIA_ENVIOS_PENDENTES",
          "WHERE MFE_IDENTIFICADORINTERNO = :IDINTERNO"};
}

std::vector<TEnvioListado> LerEnviosDaLinha(TFbQuery& q, std::int64_t idInterno) {
  q.SQL().Clear();
  for (const auto& l : SqlEnviosDaLinha()) q.SQL().Add(l);
  q.Prepare();
  q.ParamByName("IDINTERNO").SetAsInt64(idInterno);
  q.Open();
  std::vector<TEnvioListado> out;
  for (; !q.Eof(); q.Next())
    out.push_back({q.FieldByName("IDCAIXA").AsInteger(), q.FieldByName("ETAPA").AsString(),
                   q.FieldByName("SESSAO").AsInteger(), q.FieldByName("DESDE").AsString()});
  q.Close();
  return out;
}

std::vector<std::string> SqlInserirEnvio() {
  return {"INSERT INTO PAGVIGIA_ENVIOS_PENDENTES (IDCAIXA, MFE_IDENTIFICADORINTERNO, ETAPA, SESSAO)",
          "VALUES (:IDCAIXA, :IDINTERNO, :ETAPA, :SESSAO)"};
}

std::vector<std::string> SqlApagarEnvio() {
  return {"DELETE FROM PAGVIGIA_ENVIOS_PENDENTES", "WHERE MFE_IDENTIFICADORINTERNO = :IDINTERNO AND ETAPA = :ETAPA"};
}

std::vector<std::string> SqlTodosEnvios() {
  return {"SELECT IDCAIXA, MFE_IDENTIFICADORINTERNO, ETAPA, SESSAO, DESDE FROM PAGVIGIA_ENVIOS_PENDENTES",
          "ORDER BY MFE_IDENTIFICADORINTERNO"};
}

}  // namespace pagvigia
