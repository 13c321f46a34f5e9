#include "store.h"

#include <ctime>

#include "base/text.h"
#include "codecs/entities.h"
#include "text/letter_case.h"
#include "files.h"
#include "platform/folders.h"
#include "platform/local_clock.h"

namespace qvn::server {
namespace {

constexpr char kCredentials[] = "/credentials";
constexpr char kJournal[] = "/journal.log";
constexpr size_t kMaxFields = 4096;

std::string Utf8(TextView t) { return TextToUtf8(t); }

// Splits at "," (escaped fields never hold one: the entities end in ";",
// which is why that cannot be the separator) and unescapes each field.
std::vector<Text> SplitFields(TextView line) {
  std::vector<Text> out;
  size_t start = 0;
  for (;;) {
    size_t semi = line.find(u',', start);
    TextView part = line.substr(start, semi == TextView::npos ? TextView::npos : semi - start);
    out.push_back(DataDecode(part));
    if (semi == TextView::npos) break;
    start = semi + 1;
  }
  return out;
}

Text JoinFields(const std::vector<Text>& fields) {
  Text out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += u',';
    out += DataEncode(fields[i]);
  }
  return out;
}

bool SameName(TextView a, TextView b) { return UpperTrim(a) == UpperTrim(b); }

std::string Now() {
  std::time_t now = std::time(nullptr);
  std::tm tm = platform::LocalTime(now);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  return stamp;
}

}  // namespace

Text RecordLine(const Record& record) {
  return DecimalText(record.number) + u"=" + JoinFields(record.fields);
}

void Store::Create(const std::string& dir, const Text& db_name, const Text& db_password,
                   const std::vector<User>& users) {
  if (Trim(db_password).empty()) throw StoreError("the database password must not be empty");
  MakeDirs(dir);
  if (FileExists(dir + kCredentials)) throw StoreError(dir + " already holds a database");
  for (const char* sub : {"/tables", "/files", "/content", "/messages"}) MakeDirs(dir + sub);
  Text out = u"db-name," + DataEncode(Trim(db_name)) + u"\r\n";
  out += u"db-password," + DataEncode(Trim(db_password)) + u"\r\n";
  for (const User& u : users) {
    if (Trim(u.name).empty()) throw StoreError("a user name must not be empty");
    out += u"user," + DataEncode(Trim(u.name)) + u"," + DataEncode(Trim(u.password)) + u"\r\n";
  }
  WriteFileAtomic(dir + kCredentials, Utf8(out));
  AppendToFile(dir + kJournal, "");
}

Store::Store(const std::string& dir) : dir_(dir) {
  try {
    LoadCredentials();
    for (const char* sub : {"/tables", "/files", "/content", "/messages"}) MakeDirs(dir_ + sub);
    LoadTables();
    if (FileExists(dir_ + kJournal)) {
      for (Text& line : SplitLines(Utf8ToText(ReadWholeFile(dir_ + kJournal)))) {
        if (!line.empty()) journal_.push_back(Utf8(line));
      }
    }
  } catch (const FileError& e) {
    throw StoreError(e.what());
  }
}

void Store::LoadCredentials() {
  if (!FileExists(dir_ + kCredentials)) {
    throw StoreError(dir_ + " holds no database (create one with: qvn-server init " + dir_ +
                     " ...)");
  }
  for (const Text& line : SplitLines(Utf8ToText(ReadWholeFile(dir_ + kCredentials)))) {
    std::vector<Text> f = SplitFields(line);
    if (f.size() == 2 && f[0] == u"db-name") {
      db_name_ = f[1];
    } else if (f.size() == 2 && f[0] == u"db-password") {
      db_password_ = f[1];
    } else if (f.size() == 3 && f[0] == u"user") {
      users_.push_back(User{f[1], f[2]});
    } else if (!Trim(line).empty()) {
      throw StoreError("unreadable line in " + dir_ + kCredentials + ": " + Utf8(line));
    }
  }
  if (db_password_.empty()) throw StoreError(dir_ + kCredentials + " holds no database password");
}

void Store::LoadTables() {
  // The tables are the *.tbl files of tables/; a name that is not a valid
  // table name is not ours and is left alone.
  std::string folder = dir_ + "/tables";
  std::vector<std::string> names;
  std::vector<Text> files;
  try {
    files = platform::ListFolder(Utf8ToText(folder));
  } catch (const std::exception&) {
    throw StoreError("cannot read " + folder);
  }
  for (const Text& entry : files) {
    std::string file = Utf8(entry);
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".tbl") == 0) {
      names.push_back(file.substr(0, file.size() - 4));
    }
  }
  for (const std::string& file : names) {
    Text name = Utf8ToText(file);
    if (!ValidTableName(name) || UpperCase(name) != name) continue;
    Table& t = tables_[name];
    for (const Text& line : SplitLines(Utf8ToText(ReadWholeFile(folder + "/" + file + ".tbl")))) {
      if (Trim(line).empty()) continue;
      size_t eq = line.find(u'=');
      std::string digits = eq == Text::npos ? std::string() : Utf8(line.substr(0, eq));
      if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
          digits.size() > 18) {
        throw StoreError("unreadable record in " + folder + "/" + file + ".tbl: " + Utf8(line));
      }
      t[std::stoll(digits)] = SplitFields(TextView(line).substr(eq + 1));
    }
  }
}

void Store::SaveCredentialsLocked() const {
  Text out = u"db-name," + DataEncode(db_name_) + u"\r\n";
  out += u"db-password," + DataEncode(db_password_) + u"\r\n";
  for (const User& u : users_) {
    out += u"user," + DataEncode(u.name) + u"," + DataEncode(u.password) + u"\r\n";
  }
  WriteFileAtomic(dir_ + kCredentials, Utf8(out));
}

void Store::SaveTableLocked(const Text& name) const {
  Text out;
  auto it = tables_.find(name);
  if (it != tables_.end()) {
    for (const auto& [number, fields] : it->second) {
      out += RecordLine(Record{number, fields}) + u"\r\n";
    }
  }
  WriteFileAtomic(dir_ + "/tables/" + Utf8(name) + ".tbl", Utf8(out));
}

void Store::JournalLocked(const std::string& who, const std::string& what) {
  std::string line = Now() + " " + who + " " + what;
  journal_.push_back(line);
  AppendToFile(dir_ + kJournal, line + "\n");
}

Text Store::db_name() const {
  std::lock_guard<std::mutex> lock(mu_);
  return db_name_;
}

Text Store::db_password() const {
  std::lock_guard<std::mutex> lock(mu_);
  return db_password_;
}

std::vector<User> Store::users() const {
  std::lock_guard<std::mutex> lock(mu_);
  return users_;
}

std::optional<User> Store::FindUser(TextView name) const {
  std::lock_guard<std::mutex> lock(mu_);
  for (const User& u : users_) {
    if (SameName(u.name, name)) return u;
  }
  return std::nullopt;
}

void Store::SetPassword(TextView name, const Text& password) {
  std::lock_guard<std::mutex> lock(mu_);
  for (User& u : users_) {
    if (SameName(u.name, name)) {
      Text old = u.password;
      u.password = password;
      try {
        SaveCredentialsLocked();
      } catch (...) {
        u.password = old;
        throw;
      }
      return;
    }
  }
  throw StoreError("no such user");
}

bool Store::ValidTableName(TextView name) {
  if (name.empty() || name.size() > 64) return false;
  for (char16_t c : name) {
    bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
              c == u'_' || c == u'-';
    if (!ok) return false;
  }
  return true;
}

std::vector<std::pair<Text, size_t>> Store::Tables() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::pair<Text, size_t>> out;
  for (const auto& [name, table] : tables_) out.emplace_back(name, table.size());
  return out;
}

std::vector<Record> Store::Records(TextView table) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<Record> out;
  auto it = tables_.find(UpperCase(table));
  if (it == tables_.end()) return out;
  for (const auto& [number, fields] : it->second) out.push_back(Record{number, fields});
  return out;
}

std::optional<Record> Store::GetRecord(TextView table, int64_t number) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = tables_.find(UpperCase(table));
  if (it == tables_.end()) return std::nullopt;
  auto r = it->second.find(number);
  if (r == it->second.end()) return std::nullopt;
  return Record{number, r->second};
}

int64_t Store::PutField(TextView table, int64_t number, size_t field, const Text& value,
                        const std::string& who) {
  if (!ValidTableName(table)) throw StoreError("bad table name");
  if (field >= kMaxFields) throw StoreError("field number too large");
  std::lock_guard<std::mutex> lock(mu_);
  Text name = UpperCase(table);
  bool had_table = tables_.count(name) != 0;
  Table& t = tables_[name];
  Table before = t;
  if (number < 0) number = t.empty() ? 1 : t.rbegin()->first + 1;
  std::vector<Text>& fields = t[number];
  if (fields.size() <= field) fields.resize(field + 1);
  fields[field] = value;
  try {
    SaveTableLocked(name);
    JournalLocked(who, "put " + Utf8(name) + "[" + std::to_string(field) + "," +
                           std::to_string(number) + "]");
  } catch (...) {
    if (had_table) t = before; else tables_.erase(name);
    throw;
  }
  return number;
}

int64_t Store::AddRecord(TextView table, std::vector<Text> fields, const std::string& who) {
  if (!ValidTableName(table)) throw StoreError("bad table name");
  if (fields.size() > kMaxFields) throw StoreError("too many fields");
  std::lock_guard<std::mutex> lock(mu_);
  Text name = UpperCase(table);
  Table& t = tables_[name];
  int64_t number = t.empty() ? 1 : t.rbegin()->first + 1;
  t[number] = std::move(fields);
  try {
    SaveTableLocked(name);
    JournalLocked(who, "add " + Utf8(name) + "[" + std::to_string(number) + "]");
  } catch (...) {
    t.erase(number);
    throw;
  }
  return number;
}

bool Store::DeleteRecord(TextView table, int64_t number, const std::string& who) {
  std::lock_guard<std::mutex> lock(mu_);
  Text name = UpperCase(table);
  auto it = tables_.find(name);
  if (it == tables_.end()) return false;
  auto r = it->second.find(number);
  if (r == it->second.end()) return false;
  std::vector<Text> kept = r->second;
  it->second.erase(r);
  try {
    SaveTableLocked(name);
    JournalLocked(who, "delete " + Utf8(name) + "[" + std::to_string(number) + "]");
  } catch (...) {
    it->second[number] = kept;
    throw;
  }
  return true;
}

size_t Store::ClearJournal() {
  std::lock_guard<std::mutex> lock(mu_);
  WriteFileAtomic(dir_ + kJournal, "");
  size_t n = journal_.size();
  journal_.clear();
  return n;
}

std::vector<std::string> Store::Journal() const {
  std::lock_guard<std::mutex> lock(mu_);
  return journal_;
}

}  // namespace qvn::server
