// The server's state in its data folder:
//   credentials        database name and password, users and passwords
//   tables/NAME.tbl    one record per line: "number=field,field,..." (fields escaped)
//   journal.log        changes since the last CLEARSYNC
//   files/, content/   the roots of the "..\" and ".@\" server file names
//   messages/          database messages (pipe.log, messages.txt, or the FIFO "pipe")
// Every rewrite is atomic; one lock serialises all access.
#ifndef QVN_SERVER_STORE_H_
#define QVN_SERVER_STORE_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"

namespace qvn::server {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct User {
  Text name;
  Text password;
};

struct Record {
  int64_t number = 0;
  std::vector<Text> fields;
};

// "number=field,field,..." with every field escaped, as stored and as answered.
Text RecordLine(const Record& record);

class Store {
 public:
  // Creates a fresh data folder; refuses one that already holds credentials.
  static void Create(const std::string& dir, const Text& db_name, const Text& db_password,
                     const std::vector<User>& users);

  explicit Store(const std::string& dir);  // loads everything; raises StoreError

  std::string files_root() const { return dir_ + "/files"; }
  std::string content_root() const { return dir_ + "/content"; }
  std::string messages_dir() const { return dir_ + "/messages"; }

  Text db_name() const;
  Text db_password() const;
  std::vector<User> users() const;
  // User names compare trimmed and case-insensitively.
  std::optional<User> FindUser(TextView name) const;
  void SetPassword(TextView name, const Text& password);

  // Table names: 1 to 64 of A-Z a-z 0-9 _ -, case-insensitive (kept upper-case).
  static bool ValidTableName(TextView name);
  std::vector<std::pair<Text, size_t>> Tables() const;
  std::vector<Record> Records(TextView table) const;  // empty for an unknown table
  std::optional<Record> GetRecord(TextView table, int64_t number) const;
  // number < 0 appends a record; returns the record's number.
  int64_t PutField(TextView table, int64_t number, size_t field, const Text& value,
                   const std::string& who);
  int64_t AddRecord(TextView table, std::vector<Text> fields, const std::string& who);
  bool DeleteRecord(TextView table, int64_t number, const std::string& who);

  size_t ClearJournal();
  std::vector<std::string> Journal() const;

 private:
  using Table = std::map<int64_t, std::vector<Text>>;
  void LoadCredentials();
  void LoadTables();
  void SaveCredentialsLocked() const;
  void SaveTableLocked(const Text& name) const;
  void JournalLocked(const std::string& who, const std::string& what);

  std::string dir_;
  mutable std::mutex mu_;
  Text db_name_;
  Text db_password_;
  std::vector<User> users_;
  std::map<Text, Table> tables_;
  std::vector<std::string> journal_;
};

}  // namespace qvn::server

#endif  // QVN_SERVER_STORE_H_
