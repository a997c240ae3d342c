#include "platform/sql/dialect/translation_cache.h"

#include <utility>

#include "platform/sql/dialect/literal_lifting.h"
#include "platform/sql/dialect/rewrites.h"

namespace sproutsmith::sql {

std::string TranslatedStatement::WithLiterals() const {
  std::string out;
  size_t next = 0;
  for (const dialect::Token& t : dialect::Tokenize(text)) {
    if (t.kind != dialect::TokenKind::kParameter || next >= params.size()) {
      out += t.text;
      continue;
    }
    const Value& v = params[next++];
    out += v.IsNull() ? "NULL" : v.type == Value::Type::kText ? dialect::QuoteString(v.text) : v.text;
  }
  return out;
}

TranslationCache::TranslationCache(TranslateOptions options, size_t shapes)
    : options_(std::move(options)), shapes_(shapes) {}

TranslationCache::Entry TranslationCache::TranslateShape(dialect::Tokens shape, size_t lifted) {
  ++translations_;
  Entry entry;
  dialect::Tokens translated = dialect::Tokenize(dialect::TranslateShape(std::move(shape), options_));
  // Each "?n" becomes a plain "?" taking literal n. A pass that dropped or swallowed one
  // (into a string it wrote) read the shape in a way the lifting did not foresee: such a
  // shape is not used.
  std::vector<bool> seen(lifted, false);
  for (dialect::Token& t : translated) {
    if (t.kind != dialect::TokenKind::kParameter) continue;
    const size_t n = dialect::ParameterNumber(t);
    if (n == 0 || n > lifted) {
      entry.as_it_stands = true;
      return entry;
    }
    seen[n - 1] = true;
    entry.order.push_back(n - 1);
    t.text.assign(1, '?');
  }
  for (bool s : seen) {
    if (!s) {
      entry.as_it_stands = true;
      return entry;
    }
  }
  entry.text = dialect::Join(translated);
  return entry;
}

TranslatedStatement TranslationCache::Translate(std::string_view sql) {
  dialect::Tokens tokens = dialect::Tokenize(sql);
  std::string whole;
  if (!dialect::TranslateValues(tokens, options_, &whole)) {
    ++translations_;
    return {std::move(whole), {}, false};
  }
  dialect::Shape shape;
  if (dialect::LiftLiterals(tokens, options_, &shape)) {
    const std::string key = dialect::Join(shape.tokens);
    const Entry* entry = shapes_.Find(key);
    if (entry == nullptr) {
      entry = &shapes_.Put(key, TranslateShape(std::move(shape.tokens), shape.values.size()));
    }
    if (!entry->as_it_stands) {
      TranslatedStatement statement{entry->text, {}, true};
      statement.params.reserve(entry->order.size());
      for (size_t n : entry->order) statement.params.push_back(shape.values[n]);
      return statement;
    }
  }
  ++translations_;
  return {dialect::TranslateShape(std::move(tokens), options_), {}, false};
}

const TranslatedStatement& TranslationCache::TranslateKept(std::string_view sql) {
  if (const TranslatedStatement* kept = statements_.Find(sql)) return *kept;
  return statements_.Put(sql, Translate(sql));
}

ExecResult TranslationCache::Execute(Database& db, std::string_view sql) {
  const TranslatedStatement& statement = TranslateKept(sql);
  return statement.shaped ? db.Execute(statement.text, statement.params)
                          : db.Execute(statement.text);
}

}  // namespace sproutsmith::sql
