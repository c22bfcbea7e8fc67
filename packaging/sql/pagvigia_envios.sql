-- Pagvigia: the table of unfinished sends, shared by every register that runs
-- Pagvigia on this database. A row is inserted before a command goes to the
-- Integrador and deleted with the update that records its answer; no register
-- sends a step listed here, so a register killed between the Integrador's
-- acceptance and its update cannot have that payment sent again by another.
-- Run it once, as the database's owner or SYSDBA, with isql:
--   isql-fb -user SYSDBA -password <password> <server>:<database> -i pagvigia_envios.sql
-- Replace USUARIO below if the service logs in as another user.
CREATE TABLE PAGVIGIA_ENVIOS_PENDENTES (
  IDCAIXA INTEGER NOT NULL,
  MFE_IDENTIFICADORINTERNO INTEGER NOT NULL,
  ETAPA VARCHAR(31) CHARACTER SET ASCII NOT NULL,
  SESSAO INTEGER NOT NULL,
  DESDE TIMESTAMP DEFAULT CURRENT_TIMESTAMP NOT NULL,
  CONSTRAINT PK_PAGVIGIA_ENVIOS_PENDENTES PRIMARY KEY (MFE_IDENTIFICADORINTERNO, ETAPA)
);
COMMIT;
GRANT SELECT, INSERT, DELETE ON PAGVIGIA_ENVIOS_PENDENTES TO USUARIO;
COMMIT;
