#pragma once
// Translate() once per statement shape (literal_lifting.h) instead of once per statement:
// the engine's statements differ from each other mostly in the numbers and names written
// into them. A shape's translation is kept (the most recently used `shapes` of them) and
// each statement of that shape runs as it with its literals bound as parameters, so the
// back end also keeps one prepared statement per shape (Database::Execute with parameters).
//
// What runs is what Translate() gives for the statement, with some literals in parameters
// instead of in the text. A statement that takes no parameters (see literal_lifting.h), and
// a shape whose translation loses track of one of its parameters, are translated as they
// stand each time and run as plain text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sql/database.h"
#include "platform/sql/dialect/tokenizer.h"
#include "platform/sql/dialect/translator.h"
#include "platform/sql/lru_cache.h"

namespace sproutsmith::sql {

// A statement in the back end's dialect, ready to run.
struct TranslatedStatement {
  std::string text;           // "?" marks the parameters
  std::vector<Value> params;  // in the order of the marks
  bool shaped = false;        // a shape: to run with Execute(text, params), kept prepared

  // The text with each parameter written back as a literal: what Translate() gives for the
  // statement (for tests and messages).
  std::string WithLiterals() const;
};

class TranslationCache {
 public:
  static constexpr size_t kShapes = 2048;
  // Whole statements kept as they were last translated: the engine asks many again and
  // again within a cycle (the same rule, parent or library), and these skip even the
  // tokenizing that finds their shape.
  static constexpr size_t kStatements = 256;

  explicit TranslationCache(TranslateOptions options, size_t shapes = kShapes);

  const TranslateOptions& options() const { return options_; }

  TranslatedStatement Translate(std::string_view sql);
  // The translation of `sql`, kept for when the same text comes again.
  const TranslatedStatement& TranslateKept(std::string_view sql);
  // Translates `sql` and runs it on `db`.
  ExecResult Execute(Database& db, std::string_view sql);

  // How often a text went through the translation passes (a new shape, or a statement
  // translated as it stands).
  long long translations() const { return translations_; }

 private:
  struct Entry {
    std::string text;            // translated, "?" for each parameter
    std::vector<size_t> order;   // the lifted literal each "?" takes, in order
    bool as_it_stands = false;   // the shape cannot be used: translate each statement
  };
  // The translation of a shape with `lifted` parameters.
  Entry TranslateShape(dialect::Tokens shape, size_t lifted);
  TranslateOptions options_;
  LruCache<Entry> shapes_;
  LruCache<TranslatedStatement> statements_{kStatements};
  long long translations_ = 0;
};

}  // namespace sproutsmith::sql
