#include "platform/sql/postgres_helpers.h"

#include "platform/sql/dialect/standin_functions.h"

namespace sproutsmith::sql {

using namespace dialect;  // the shared names

std::string PostgresTypesScript() {
  return R"(CREATE EXTENSION IF NOT EXISTS citext SCHEMA public;
DO $$ BEGIN
  CREATE DOMAIN public.datetime AS timestamp(0);
EXCEPTION WHEN duplicate_object THEN NULL;
END $$;
)";
}

std::string PostgresFunctionsScript() {
  return std::string() +
         // Server time: the client's clock when it handed one over
         // (PostgresDatabase::SetClock), else the server's.
         "CREATE OR REPLACE FUNCTION public." + kLocalNowFunction +
         "() RETURNS timestamp(0) LANGUAGE sql STABLE AS $$ SELECT COALESCE("
         "NULLIF(current_setting('sproutsmith.local_now', true), '')::timestamp(0),"
         " LOCALTIMESTAMP(0)) $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kUtcNowFunction +
         "() RETURNS timestamp(0) LANGUAGE sql STABLE AS $$ SELECT COALESCE("
         "NULLIF(current_setting('sproutsmith.utc_now', true), '')::timestamp(0),"
         " (now() AT TIME ZONE 'UTC')::timestamp(0)) $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kVersionFunction + "() RETURNS text LANGUAGE sql STABLE AS $$ SELECT '" +
         kPostgresVersionBanner + "' || current_setting('server_version') || ')' $$;\n" +
         "CREATE OR REPLACE FUNCTION public." + kRefuseFunction +
         "(message text) RETURNS integer LANGUAGE plpgsql AS $$ BEGIN "
         "RAISE EXCEPTION '%', message; END $$;\n"
         // "+" as SQL Server reads it: two strings concatenate, a string beside
         // a number is read as a number; NULL beside anything is NULL.
         "CREATE OR REPLACE FUNCTION public." +
         kMicrosoftAddFunction +
         "(numeric, numeric) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT AS "
         "$$ SELECT $1 + $2 $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kMicrosoftAddFunction +
         "(text, text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS "
         "$$ SELECT $1 || $2 $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kMicrosoftAddFunction +
         "(numeric, text) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT AS "
         "$$ SELECT $1 + $2::numeric $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kMicrosoftAddFunction +
         "(text, numeric) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT AS "
         "$$ SELECT $1::numeric + $2 $$;\n"
         // Oracle's "+" only adds; its "||" reads NULL as '' and gives NULL
         // for an empty result.
         "CREATE OR REPLACE FUNCTION public." +
         kOracleAddFunction +
         "(numeric, numeric) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT AS "
         "$$ SELECT $1 + $2 $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kOracleAddFunction +
         "(text, text) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT AS "
         "$$ SELECT $1::numeric + $2::numeric $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kOracleConcatFunction +
         "(text, text) RETURNS text LANGUAGE sql IMMUTABLE AS "
         "$$ SELECT NULLIF(COALESCE($1, '') || COALESCE($2, ''), '') $$;\n"
         // TRY_CAST: NULL where CAST would fail.
         "CREATE OR REPLACE FUNCTION public." +
         kPostgresTryIntegerFunction +
         "(value text) RETURNS bigint LANGUAGE plpgsql IMMUTABLE AS $$ BEGIN "
         "RETURN trim(value)::bigint; EXCEPTION WHEN others THEN RETURN NULL; "
         "END $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kPostgresTryNumericFunction +
         "(value text) RETURNS numeric LANGUAGE plpgsql IMMUTABLE AS $$ BEGIN "
         "RETURN trim(value)::numeric; EXCEPTION WHEN others THEN RETURN NULL; "
         "END $$;\n"
         "CREATE OR REPLACE FUNCTION public." +
         kPostgresTryDateFunction +
         "(value text) RETURNS timestamp(0) LANGUAGE plpgsql STABLE AS $$ BEGIN "
         "RETURN trim(value)::timestamp(0); EXCEPTION WHEN others THEN RETURN "
         "NULL; END $$;\n";
}

std::string PostgresCatalogScript() {
  return std::string() +
         // The catalog: the library's own schema is the one searched first.
         // sysstat & 0xf is 3 for a user table (2 for a view), as SQL Server has it.
         "CREATE OR REPLACE VIEW public." + kPostgresSysObjectsView +
         " AS SELECT upper(c.relname)::citext AS id, upper(c.relname)::citext AS "
         "name, CASE c.relkind WHEN 'r' THEN 3 ELSE 2 END AS sysstat, CASE "
         "c.relkind WHEN 'r' THEN 'U' ELSE 'V' END AS xtype FROM pg_class c JOIN "
         "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
         "current_schema() AND c.relkind IN ('r', 'v');\n"
         "CREATE OR REPLACE VIEW public." +
         kPostgresAllTablesView +
         " AS SELECT upper(c.relname)::citext AS table_name, (SELECT OWNER FROM "
         "REMOTE_LIBRARIES WHERE SYSTEM_ID = 0) AS owner FROM pg_class c JOIN "
         "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
         "current_schema() AND c.relkind = 'r';\n"
         // Every table is granted to the library's user by the library owner.
         "CREATE OR REPLACE VIEW public." +
         kPostgresUserTabPrivsView +
         " AS SELECT owner, table_name, 'SELECT'::text AS privilege FROM public." +
         kPostgresAllTablesView + " WHERE owner IS NOT NULL;\n";
}

}  // namespace sproutsmith::sql
