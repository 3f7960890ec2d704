#include "verdict/location_steps.h"

namespace {

// A cursor over the location's text.
struct Reader {
  std::string_view text;
  size_t at = 0;

  void skipSpace() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
                                text[at] == '\r'))
      ++at;
  }
  bool done() const { return at >= text.size(); }
  char peek() const { return done() ? '\0' : text[at]; }
  // Consumes `word` (after white space) when it comes next.
  bool take(std::string_view word) {
    skipSpace();
    if (text.substr(at, word.size()) != word)
      return false;
    at += word.size();
    return true;
  }
};

bool nameStart(unsigned char c) {
  return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

bool nameChar(unsigned char c) {
  return nameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9');
}

// An NCName (any non-ASCII byte is taken as a name character: the
// document's own names decide whether it matches).
bool readName(Reader* in, std::string* name) {
  in->skipSpace();
  if (in->done() || !nameStart(static_cast<unsigned char>(in->peek())))
    return false;
  size_t start = in->at;
  while (!in->done() && nameChar(static_cast<unsigned char>(in->peek())))
    ++in->at;
  *name = std::string(in->text.substr(start, in->at - start));
  return true;
}

// A string literal in ' or ", with the doubled quote of XPath 2.0.
bool readLiteral(Reader* in, std::string* value) {
  in->skipSpace();
  const char quote = in->peek();
  if (quote != '\'' && quote != '"')
    return false;
  ++in->at;
  value->clear();
  while (!in->done()) {
    char c = in->text[in->at++];
    if (c != quote) {
      value->push_back(c);
    } else if (in->peek() == quote) {
      value->push_back(quote);
      ++in->at;
    } else {
      return true;
    }
  }
  return false;
}

// The name test of a step: Q{uri}local, prefix:local, *:local, prefix:*,
// *, local; `*` stands for any local name.
bool readNameTest(Reader* in, LocationStep* step) {
  in->skipSpace();
  if (in->take("Q{")) {
    size_t close = in->text.find('}', in->at);
    if (close == std::string_view::npos)
      return false;
    step->space = LocationStep::Space::kUri;
    step->uri = std::string(in->text.substr(in->at, close - in->at));
    in->at = close + 1;
    if (in->peek() == '*') {
      ++in->at;
      step->local = "*";
      return true;
    }
    return readName(in, &step->local);
  }
  if (in->peek() == '*') {
    ++in->at;
    if (in->peek() == ':') {
      ++in->at;
      step->space = LocationStep::Space::kAny;
      return readName(in, &step->local);
    }
    step->space = LocationStep::Space::kAny;
    step->local = "*";
    return true;
  }
  std::string first;
  if (!readName(in, &first))
    return false;
  if (in->peek() != ':') {
    step->space = LocationStep::Space::kNone;
    step->local = first;
    return true;
  }
  ++in->at;
  step->space = LocationStep::Space::kPrefix;
  step->prefix = first;
  if (in->peek() == '*') {
    ++in->at;
    step->local = "*";
    return true;
  }
  return readName(in, &step->local);
}

// namespace-uri() = 'uri'
bool readNamespaceTest(Reader* in, std::string* uri) {
  return in->take("namespace-uri") && in->take("(") && in->take(")") && in->take("=") &&
         readLiteral(in, uri);
}

// local-name() = 'name'
bool readLocalNameTest(Reader* in, std::string* name) {
  return in->take("local-name") && in->take("(") && in->take(")") && in->take("=") &&
         readLiteral(in, name);
}

// One predicate after its "[": a position, a namespace test, or a local
// name and namespace test joined by "and" (either order).
bool readPredicate(Reader* in, LocationStep* step) {
  in->skipSpace();
  if (in->peek() >= '0' && in->peek() <= '9') {
    long long n = 0;
    while (in->peek() >= '0' && in->peek() <= '9') {
      n = n * 10 + (in->peek() - '0');
      if (n > 1000000000)
        return false;
      ++in->at;
    }
    if (n == 0 || step->position != 0)
      return false;
    step->position = n;
    return in->take("]");
  }
  std::string uri, local;
  size_t mark = in->at;
  bool named = false;
  if (readNamespaceTest(in, &uri)) {
    if (in->take("and")) {
      if (!readLocalNameTest(in, &local))
        return false;
      named = true;
    }
  } else {
    in->at = mark;
    if (!readLocalNameTest(in, &local) || !in->take("and") || !readNamespaceTest(in, &uri))
      return false;
    named = true;
  }
  // A namespace test narrows only a step of any namespace; a local-name
  // test only a step of any name.
  if (step->space != LocationStep::Space::kAny || (named && step->local != "*") ||
      (!named && step->local == "*" && step->kind == LocationStep::Kind::kAttribute))
    return false;
  step->space = LocationStep::Space::kUri;
  step->uri = uri;
  if (named)
    step->local = local;
  return in->take("]");
}

bool readStep(Reader* in, LocationStep* step) {
  in->skipSpace();
  const size_t mark = in->at;
  if (in->take("text") && in->take("(") && in->take(")")) {
    step->kind = LocationStep::Kind::kText;
  } else {
    in->at = mark;
    if (in->take("@"))
      step->kind = LocationStep::Kind::kAttribute;
    if (!readNameTest(in, step))
      return false;
  }
  while (in->take("[")) {
    if (!readPredicate(in, step))
      return false;
  }
  // An attribute or text step ends the path.
  return true;
}

}  // namespace

std::optional<std::vector<LocationStep>> parseLocation(std::string_view location) {
  Reader in{location};
  std::vector<LocationStep> steps;
  while (true) {
    in.skipSpace();
    if (in.done())
      break;
    if (!in.take("/"))
      return std::nullopt;
    if (!steps.empty() && steps.back().kind != LocationStep::Kind::kElement)
      return std::nullopt;
    LocationStep step;
    if (!readStep(&in, &step))
      return std::nullopt;
    steps.push_back(std::move(step));
  }
  if (steps.empty())
    return std::nullopt;
  return steps;
}
