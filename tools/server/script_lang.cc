#include "script_lang.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "base/text.h"
#include "codecs/entities.h"
#include "text/letter_case.h"

namespace qvn::server {
namespace {

constexpr char16_t kNotFound[] = u"NOT_FOUND";

Text Error(const std::string& why) { return u"ERROR: " + Utf8ToText(why); }

std::optional<int64_t> ParseInt(TextView t) {
  Text s = Trim(t);
  if (s.empty() || s.size() > 18) return std::nullopt;
  size_t i = 0;
  bool negative = false;
  if (s[0] == u'-' || s[0] == u'+') {
    negative = s[0] == u'-';
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9') return std::nullopt;
    v = v * 10 + (s[i] - u'0');
  }
  return negative ? -v : v;
}

// NAME[ARGS]TAIL as it follows the keyword.
struct Bracketed {
  Text name;
  Text args;
  Text tail;
};

std::optional<Bracketed> SplitBracket(TextView rest, bool tail_may_hold_brackets) {
  size_t open = rest.find(u'[');
  if (open == TextView::npos) return std::nullopt;
  // put values may hold "]" themselves: then the first "]" closes the arguments.
  size_t close = tail_may_hold_brackets ? rest.find(u']', open) : rest.rfind(u']');
  if (close == TextView::npos || close < open) return std::nullopt;
  return Bracketed{Trim(rest.substr(0, open)), Text(rest.substr(open + 1, close - open - 1)),
                   Text(rest.substr(close + 1))};
}

bool TailIsEnd(TextView tail) {
  Text t = Trim(tail);
  return t.empty() || t == u"-";
}

std::vector<Text> SplitComma(TextView args) {
  std::vector<Text> out;
  size_t start = 0;
  for (;;) {
    size_t comma = args.find(u',', start);
    out.emplace_back(Trim(args.substr(start, comma == TextView::npos ? TextView::npos
                                                                      : comma - start)));
    if (comma == TextView::npos) break;
    start = comma + 1;
  }
  return out;
}

Text CheckTable(TextView name) {
  return Store::ValidTableName(name) ? Text() : Error("bad table name '" + TextToUtf8(name) + "'");
}

Text JoinAnswer(const std::vector<Text>& lines) {
  Text out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += u"\r\n";
    out += lines[i];
  }
  return out;
}

// select TABLE[MODE, FIELD, COUNT, SEARCH, FLAGS]-
Text Select(Store& store, TextView rest) {
  auto b = SplitBracket(rest, false);
  if (!b || !TailIsEnd(b->tail)) return Error("select TABLE[MODE, FIELD, COUNT, SEARCH, FLAGS]");
  if (Text e = CheckTable(b->name); !e.empty()) return e;
  // The search text may hold commas: the first three and the last argument
  // are split off, the rest is the search text.
  TextView args = b->args;
  std::vector<Text> head;
  for (int i = 0; i < 3; ++i) {
    size_t comma = args.find(u',');
    if (comma == TextView::npos) return Error("select needs five arguments");
    head.emplace_back(Trim(args.substr(0, comma)));
    args = args.substr(comma + 1);
  }
  size_t last = args.rfind(u',');
  if (last == TextView::npos) return Error("select needs five arguments");
  Text search = DataDecode(Trim(args.substr(0, last)));
  Text flags = UpperTrim(args.substr(last + 1));
  Text mode = UpperCase(head[0]);
  auto field = ParseInt(head[1]);
  auto count = ParseInt(head[2]);
  if (mode != u"TEXT" && mode != u"LIKE" && mode != u"START") {
    return Error("select mode is text, like or start");
  }
  if (!field || *field < -1) return Error("select field is a number (-1: any field)");
  if (!count || *count < 0) return Error("select count is a number (0: all)");
  if (flags.find_first_not_of(u"IS") != Text::npos) return Error("select flags are i or s");
  bool ignore_case = flags.find(u'I') != Text::npos;
  if (ignore_case) search = UpperCase(search);

  auto matches = [&](const Text& value) {
    Text v = ignore_case ? UpperCase(value) : value;
    if (mode == u"TEXT") return v == search;
    if (mode == u"START") return v.compare(0, search.size(), search) == 0;
    return v.find(search) != Text::npos;
  };
  std::vector<Text> lines;
  for (const Record& r : store.Records(b->name)) {
    bool hit = false;
    for (size_t f = 0; f < r.fields.size() && !hit; ++f) {
      if (*field == -1 || static_cast<int64_t>(f) == *field) hit = matches(r.fields[f]);
    }
    if (!hit) continue;
    lines.push_back(RecordLine(r));
    if (*count > 0 && static_cast<int64_t>(lines.size()) == *count) break;
  }
  return lines.empty() ? Text(kNotFound) : JoinAnswer(lines);
}

// get TABLE[FIELD,RECORD]-
Text Get(Store& store, TextView rest) {
  auto b = SplitBracket(rest, false);
  if (!b || !TailIsEnd(b->tail)) return Error("get TABLE[FIELD,RECORD]");
  if (Text e = CheckTable(b->name); !e.empty()) return e;
  std::vector<Text> a = SplitComma(b->args);
  auto field = a.size() == 2 ? ParseInt(a[0]) : std::nullopt;
  auto number = a.size() == 2 ? ParseInt(a[1]) : std::nullopt;
  if (!field || !number || *field < 0) return Error("get TABLE[FIELD,RECORD]");
  auto r = store.GetRecord(b->name, *number);
  if (!r || static_cast<size_t>(*field) >= r->fields.size()) return kNotFound;
  // The stored value exactly, unescaped.
  return r->fields[static_cast<size_t>(*field)];
}

// put TABLE[FIELD,RECORD]=VALUE   (RECORD + or new appends a record)
Text Put(Store& store, TextView rest, const Caller& caller) {
  auto b = SplitBracket(rest, true);
  if (!b || b->tail.empty() || b->tail[0] != u'=') return Error("put TABLE[FIELD,RECORD]=VALUE");
  if (Text e = CheckTable(b->name); !e.empty()) return e;
  std::vector<Text> a = SplitComma(b->args);
  if (a.size() != 2) return Error("put TABLE[FIELD,RECORD]=VALUE");
  auto field = ParseInt(a[0]);
  Text rec = UpperCase(a[1]);
  std::optional<int64_t> number = (rec == u"+" || rec == u"NEW") ? std::optional<int64_t>(-1)
                                                                 : ParseInt(a[1]);
  if (!field || *field < 0 || !number || (*number < 1 && *number != -1)) {
    return Error("put TABLE[FIELD,RECORD]=VALUE (field from 0, record from 1 or +)");
  }
  int64_t n = store.PutField(b->name, *number, static_cast<size_t>(*field),
                             DataDecode(TextView(b->tail).substr(1)), TextToUtf8(caller.user));
  return u"OK " + DecimalText(n);
}

// add TABLE=VALUE,VALUE,...
Text Add(Store& store, TextView rest, const Caller& caller) {
  size_t eq = rest.find(u'=');
  if (eq == TextView::npos) return Error("add TABLE=VALUE,VALUE,...");
  Text name = Trim(rest.substr(0, eq));
  if (Text e = CheckTable(name); !e.empty()) return e;
  std::vector<Text> fields;
  TextView values = rest.substr(eq + 1);
  size_t start = 0;
  for (;;) {
    size_t semi = values.find(u',', start);
    fields.push_back(DataDecode(values.substr(start, semi == TextView::npos ? TextView::npos
                                                                             : semi - start)));
    if (semi == TextView::npos) break;
    start = semi + 1;
  }
  int64_t n = store.AddRecord(name, std::move(fields), TextToUtf8(caller.user));
  return u"OK " + DecimalText(n);
}

// delete TABLE[RECORD]
Text Delete(Store& store, TextView rest, const Caller& caller) {
  auto b = SplitBracket(rest, false);
  if (!b || !TailIsEnd(b->tail)) return Error("delete TABLE[RECORD]");
  if (Text e = CheckTable(b->name); !e.empty()) return e;
  auto number = ParseInt(b->args);
  if (!number) return Error("delete TABLE[RECORD]");
  if (!store.DeleteRecord(b->name, *number, TextToUtf8(caller.user))) return kNotFound;
  return u"OK " + DecimalText(*number);
}

// list            -> NAME=record count, one table a line
// list TABLE      -> every record
Text List(Store& store, TextView rest) {
  Text name = Trim(rest);
  std::vector<Text> lines;
  if (name.empty()) {
    for (const auto& [table, count] : store.Tables()) {
      lines.push_back(table + u"=" + DecimalText(static_cast<int64_t>(count)));
    }
    return lines.empty() ? Text(u"EMPTY") : JoinAnswer(lines);
  }
  if (Text e = CheckTable(name); !e.empty()) return e;
  for (const Record& r : store.Records(name)) lines.push_back(RecordLine(r));
  return lines.empty() ? Text(u"EMPTY") : JoinAnswer(lines);
}

// count TABLE
Text Count(Store& store, TextView rest) {
  Text name = Trim(rest);
  if (Text e = CheckTable(name); !e.empty()) return e;
  return DecimalText(static_cast<int64_t>(store.Records(name).size()));
}

}  // namespace

Text RunStatement(Store& store, TextView statement, const Caller& caller) {
  Text line = Trim(statement);
  size_t end = 0;
  while (end < line.size() && line[end] != u' ' && line[end] != u'[' && line[end] != u'=') ++end;
  Text word = UpperCase(TextView(line).substr(0, end));
  TextView rest = TextView(line).substr(end);
  bool writes = word == u"PUT" || word == u"ADD" || word == u"DELETE";
  if (writes && !caller.has_user) return Error("changes need a user (credentials with a user name)");
  try {
    if (word == u"SELECT") return Select(store, rest);
    if (word == u"GET") return Get(store, rest);
    if (word == u"PUT") return Put(store, rest, caller);
    if (word == u"ADD") return Add(store, rest, caller);
    if (word == u"DELETE") return Delete(store, rest, caller);
    if (word == u"LIST") return List(store, rest);
    if (word == u"COUNT") return Count(store, rest);
  } catch (const std::exception& e) {
    return Error(e.what());
  }
  return Error("unknown statement '" + TextToUtf8(word) + "'");
}

Text RunScript(Store& store, const Text& request_text, const Caller& caller) {
  std::vector<Text> lines = SplitLines(Trim(request_text));
  std::vector<Text> answers;
  for (size_t i = 1; i < lines.size(); ++i) {
    Text s = Trim(lines[i]);
    if (s.empty() || s[0] == u'/') continue;
    answers.push_back(RunStatement(store, s, caller));
  }
  return answers.empty() ? Text(u"OK") : JoinAnswer(answers);
}

}  // namespace qvn::server
