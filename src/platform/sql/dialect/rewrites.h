#pragma once
// The rewrite passes. Each pass reads the tokens and records its edits; the caller renders
// and re-tokenizes between passes, so every pass sees clean tokens. A construct a pass does
// not recognise is left exactly as written.
//
// Target-neutral passes (row limits, hints, outer joins, "+", the catalog) serve both back
// ends; each back end adds its own function names, SQLite its column naming, PostgreSQL
// its LIKE.

#include "platform/sql/dialect/sql_structure.h"
#include "platform/sql/dialect/translator.h"

namespace sproutsmith::sql::dialect {

using Pass = void (*)(const Tokens& tokens, Editor& editor, const TranslateOptions& options);

// Runs one pass and replaces `tokens` by the tokens of the edited text; false when the pass
// changed nothing.
bool ApplyPass(Tokens& tokens, Pass pass, const TranslateOptions& options);

// Translate() in two stages, so that a statement shape is translated once for every set of
// its literals (literal_lifting.h). First the passes that read what literals hold; false,
// with the back end's statement in *whole, when the statement is replaced as a whole (a
// session option that means nothing here, a construct the flavour refuses).
bool TranslateValues(Tokens& tokens, const TranslateOptions& options, std::string* whole);
// Then every other pass: none of them reads a literal that lifting takes out.
std::string TranslateShape(Tokens tokens, const TranslateOptions& options);

// --- target-neutral ---

// The message the flavour's server gives for a construct of the other dialect (TOP, [NEXT],
// GETDATE() on Oracle; NVL, SYSDATE, (+), || on SQL Server); empty when there is none.
std::string RefusedConstruct(const Tokens& tokens, const TranslateOptions& options);

// "OWNER.T" and "OWNER.T.C" lose the owner (options.owners and "dbo", any case).
void DropOwnerPrefixes(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// Oracle: '' is NULL, and "[" in a LIKE pattern literal is an ordinary character.
void ReadLiteralsAsOracle(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// sysobjects/object_id, ALL_TABLES, USER_TAB_PRIVS, @@VERSION, serverproperty,
// sys.databases, for the target back end.
void EmulateCatalog(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// "OPTION (...)" query hints at the end of a statement are removed.
void RemoveQueryHints(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// "SELECT [DISTINCT] TOP n ..." becomes "SELECT [DISTINCT] ... LIMIT n", at any depth.
void TopToLimit(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// Oracle: an AND-ed "ROWNUM <= n" (or "< n") condition becomes "LIMIT n" of its SELECT.
void RownumToLimit(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// "x NOT IN (SELECT c FROM t WHERE ...)" becomes "NOT EXISTS (SELECT 1 FROM t WHERE ... AND
// t.c = x)" where both columns are options.non_null_integer_columns; see not_in_pass.cpp.
void RewriteNotInSubqueries(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// Oracle: "A.X (+) = B.Y" over a comma FROM list becomes "LEFT OUTER JOIN A ON ...".
void RewriteOuterJoins(const Tokens& tokens, Editor& editor, const TranslateOptions& options);

// Shared by both back ends' function passes: a bare SYSDATE (not a qualifier), GETDATE()
// and GETUTCDATE() become the stand-in's clock functions. `open` is the word's call
// parenthesis (CallParen; kNone when the word is no call). True when the word at `i` needs
// nothing more: it was a clock word, or it is no call.
bool RewriteClockWord(const Tokens& tokens, Editor& editor, size_t i, size_t open);

// --- SQLite ---

// GETDATE/GETUTCDATE/SYSDATE, TO_DATE, CAST/TRY_CAST, SUBSTRING, LEN, ISNULL, NVL, N'..',
// nested block comments.
void RewriteSqliteFunctions(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// Unaliased expression columns of the outermost SELECT get an empty heading, as SQL Server
// gives them (SQLite would name them by their text, PostgreSQL by their function).
void NameUnaliasedColumns(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// "a + b" becomes the add function of the flavour, so strings concatenate (SQL Server) or
// fail (Oracle) instead of adding up as numbers; Oracle's "a || b" becomes its concatenation,
// which reads NULL as ''.
void RewritePlus(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// "set dateformat ..." and the like: session options that mean nothing here.
bool IsIgnoredSessionOption(const Tokens& tokens);
// SQLite: "UPPER(col) LIKE 'ABC'" with no wildcard is preceded by "UPPER(col) = 'ABC' AND";
// see like_prefilter_pass.cpp.
void AddLikeEqualityPrefilter(const Tokens& tokens, Editor& editor,
                              const TranslateOptions& options);

// --- PostgreSQL ---

// GETDATE/GETUTCDATE/SYSDATE, TO_DATE, TRY_CAST and SQL Server type names, LEN, ISNULL, NVL,
// N'..', hexadecimal numbers, [NAME] and Oracle's "NAME".
void RewritePostgresFunctions(const Tokens& tokens, Editor& editor,
                              const TranslateOptions& options);
// LIKE as SQL Server's: case-insensitive, with "[...]" classes and no escape character.
void RewriteLikeForPostgres(const Tokens& tokens, Editor& editor, const TranslateOptions& options);
// The pattern RewriteLikeForPostgres writes for a SQL Server pattern without ESCAPE, when it
// stays a LIKE pattern; false when it needs a regular expression.
bool PostgresLikePattern(const std::string& pattern, std::string* like);

// Oracle TO_DATE of a literal: 'YYYY-MM-DD' (or 'YYYY-MM-DD HH:MM:SS' when the format has a
// time). False when the value does not fit the format.
bool OracleDateToText(const std::string& value, const std::string& format, std::string* out);
// The call TO_DATE(...) whose name is at `word` and '(' at `open`: a literal converted as
// above, or NULL for TO_DATE(NULL, ...) and TO_DATE('', ...); other shapes stay.
void RewriteToDateLiteral(const Tokens& tokens, Editor& editor, size_t word, size_t open);

}  // namespace sproutsmith::sql::dialect
