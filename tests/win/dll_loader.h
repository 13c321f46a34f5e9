// Loads qvn.dll once for the test program, the way a host application does,
// and resolves the exports by name.
#ifndef QVN_TESTS_WIN_DLL_LOADER_H_
#define QVN_TESTS_WIN_DLL_LOADER_H_

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "qvn.h"

namespace qvn::testing {

class LoadedDll {
 public:
  LoadedDll() {
    module_ = LoadLibraryW(L"qvn.dll");
    if (module_ == nullptr) {
      std::fprintf(stderr, "cannot load qvn.dll: error %lu\n", GetLastError());
      std::abort();
    }
    Resolve(script, "Script");
    Resolve(script_free, "ScriptFree");
    Resolve(try_connect, "TryConnect");
    Resolve(value_count, "ValueCount");
    Resolve(value_from_string, "ValueFromString");
    Resolve(data_encode, "DataEncode");
    Resolve(data_decode, "DataDecode");
    Resolve(pack_string, "PackString");
    Resolve(unpack_string, "UnPackString");
    Resolve(show_db_name, "ShowDbName");
  }
  HMODULE module() const { return module_; }

  std::wstring Value(const wchar_t* source, int32_t index, const wchar_t* delimiter) {
    qvn_char* p = value_from_string(source, index, delimiter);
    std::wstring out(p);
    script_free(p);
    return out;
  }

  decltype(&::Script) script = nullptr;
  decltype(&::ScriptFree) script_free = nullptr;
  decltype(&::TryConnect) try_connect = nullptr;
  decltype(&::ValueCount) value_count = nullptr;
  decltype(&::ValueFromString) value_from_string = nullptr;
  decltype(&::DataEncode) data_encode = nullptr;
  decltype(&::DataDecode) data_decode = nullptr;
  decltype(&::PackString) pack_string = nullptr;
  decltype(&::UnPackString) unpack_string = nullptr;
  decltype(&::ShowDbName) show_db_name = nullptr;

 private:
  template <typename F>
  void Resolve(F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    if (f == nullptr) {
      std::fprintf(stderr, "qvn.dll lacks %s\n", name);
      std::abort();
    }
  }
  HMODULE module_ = nullptr;
};

// The first call loads the DLL on the calling thread.
inline LoadedDll& Dll() {
  static LoadedDll dll;
  return dll;
}

// Calls a one-text export and releases its result.
inline std::wstring Call(qvn_char* (*f)(const qvn_char*), const wchar_t* text) {
  qvn_char* p = f(text);
  std::wstring out(p);
  Dll().script_free(p);
  return out;
}

}  // namespace qvn::testing

#endif  // QVN_TESTS_WIN_DLL_LOADER_H_
