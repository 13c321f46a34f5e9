// A host program's view of qvn.dll: loaded by name, every export reachable by
// name and by its fixed ordinal, and the value-list and escaping cases giving
// the same answers as on Linux.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "qvn.h"
#include "win/dll_loader.h"

namespace {

struct Export {
  const char* name;
  int ordinal;
};
constexpr Export kExports[] = {
    {"ValueCount", 4},       {"ValueFromString", 5},   {"ChangeUniquePass", 6},
    {"DbMessageFile", 7},    {"DbMessageTcp", 8},      {"DbMessagePipe", 9},
    {"ShowDbName", 10},      {"TryDbPassword", 11},    {"TryConnect", 12},
    {"UpdateIsAvailable", 13}, {"UserAuthentication", 14}, {"DataDecode", 15},
    {"DataEncode", 16},      {"UnPackString", 17},     {"PackString", 18},
    {"ScriptFree", 19},      {"Script", 20},
};

TEST(DllExportsTest, EveryExportByNameAndByOrdinalIsTheSameFunction) {
  HMODULE dll = qvn::testing::Dll().module();
  for (const Export& e : kExports) {
    FARPROC by_name = GetProcAddress(dll, e.name);
    FARPROC by_ordinal = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
    ASSERT_NE(by_name, nullptr) << e.name;
    EXPECT_EQ(by_name, by_ordinal) << e.name << " @" << e.ordinal;
  }
  for (int ordinal = 1; ordinal <= 3; ++ordinal) {
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)), nullptr) << "@" << ordinal;
  }
}

TEST(DllExportsTest, LoadingInitialisedOleForTheLoadingThread) {
  // The fixture loaded the DLL on this thread; OLE is then already up, so a
  // further initialisation only counts (S_FALSE) instead of starting it (S_OK).
  qvn::testing::Dll();
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(hr, S_FALSE);
  if (SUCCEEDED(hr)) CoUninitialize();
}

using qvn::testing::Call;

TEST(DllValueListTest, FieldsOfTrimmedText) {
  auto& d = qvn::testing::Dll();
  EXPECT_EQ(d.Value(L"  a@b@c  ", 0, L"@"), L"a");
  EXPECT_EQ(d.Value(L"  a@b@c  ", 2, L"@"), L"c");
  EXPECT_EQ(d.Value(L"  a@b@c  ", 3, L"@"), L"");
  EXPECT_EQ(d.Value(L"  a@b@c  ", -1, L"@"), L"");
  EXPECT_EQ(d.Value(L"a@@b", 1, L"@"), L"");
  EXPECT_EQ(d.Value(L"a@@b", 2, L"@"), L"b");
  EXPECT_EQ(d.Value(L"x@ y @z", 1, L"@"), L" y ");
  EXPECT_EQ(d.Value(L"abc", 0, L"@"), L"abc");
  EXPECT_EQ(d.Value(L"abc", 5, L""), L"abc");
  EXPECT_EQ(d.Value(L"xaaay", 0, L"aa"), L"x");
  EXPECT_EQ(d.Value(L"xaaay", 1, L"aa"), L"");
  EXPECT_EQ(d.Value(L"xaaay", 2, L"aa"), L"y");
}

TEST(DllValueListTest, EmptySourceGivesTheStaticEmptyAndEmptyFieldAnAllocation) {
  auto& d = qvn::testing::Dll();
  qvn_char* a = d.value_from_string(nullptr, 0, L"@");
  qvn_char* b = d.value_from_string(L"", 0, L"@");
  qvn_char* c = d.value_from_string(L"a@", 1, L"@");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);          // one static empty text
  EXPECT_NE(c, a);          // a non-empty source always allocates
  EXPECT_EQ(c[0], L'\0');
  d.script_free(a);
  d.script_free(b);
  d.script_free(c);
  d.script_free(nullptr);
}

TEST(DllValueListTest, CountsFields) {
  auto& d = qvn::testing::Dll();
  EXPECT_EQ(d.value_count(L"a;b;c", L";", false), 3);
  EXPECT_EQ(d.value_count(L";", L";", false), 2);
  EXPECT_EQ(d.value_count(L"a;b;", L";", false), 3);
  EXPECT_EQ(d.value_count(L"abc", L";", false), 0);
  EXPECT_EQ(d.value_count(L"abc", L";", true), 1);
  EXPECT_EQ(d.value_count(L"   ", L";", true), 0);
  EXPECT_EQ(d.value_count(nullptr, L";", true), 0);
  EXPECT_EQ(d.value_count(L"xaaay", L"aa", false), 2);
}

TEST(DllEscapingTest, EncodesAndDecodesEntities) {
  auto& d = qvn::testing::Dll();
  EXPECT_EQ(Call(d.data_encode, L"a;b"), L"a&amp;#59;b");
  EXPECT_EQ(Call(d.data_encode, L"{x,y}\r\n"), L"&#123;x&#44;y&#125;&cr;&lf;");
  EXPECT_EQ(Call(d.data_encode, L"\t&"), L"&tab;&amp;");
  EXPECT_EQ(Call(d.data_decode, L"a&amp;#59;b"), L"a;b");
  EXPECT_EQ(Call(d.data_decode, L"&#123;x&#44;y&#125;&cr;&lf;"), L"{x,y}\r\n");
  EXPECT_EQ(Call(d.data_decode, L"&AMP;&Tab;&LF;"), L"&\t\n");
  EXPECT_EQ(Call(d.data_decode, L"  no entities  "), L"  no entities  ");
  EXPECT_EQ(Call(d.data_encode, nullptr), L"");
}

TEST(DllEscapingTest, DecodeOfEncodeGivesTheTextBack) {
  auto& d = qvn::testing::Dll();
  const wchar_t* pieces[] = {L";", L"&", L",", L"\t", L"\r", L"\n", L"{", L"}", L"&amp;",
                             L"&#59;", L"&cr;", L"&LF;", L"a", L"\x00e9", L" ", L"&#123"};
  unsigned seed = 12345;
  for (int round = 0; round < 300; ++round) {
    std::wstring text;
    int n = 1 + round % 23;
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      text += pieces[(seed >> 16) % (sizeof(pieces) / sizeof(pieces[0]))];
    }
    std::wstring encoded = Call(d.data_encode, text.c_str());
    ASSERT_EQ(Call(d.data_decode, encoded.c_str()), text) << round;
  }
}

TEST(DllPackingTest, PacksAsTheServerStoresIt) {
  auto& d = qvn::testing::Dll();
  EXPECT_EQ(Call(d.pack_string, L""), L"eNoDAAAAAAE=");
  EXPECT_EQ(Call(d.pack_string, L"a"), L"eNpL5OUCAAFKAA==");
  EXPECT_EQ(Call(d.unpack_string, L"eNpL5OUCAAFKAA==\r\n"), L"a");
  EXPECT_EQ(Call(d.unpack_string, L"  hello  "), L"hello");
  std::wstring text = L"caf\x00e9 \x20ac line\r\nsecond";
  EXPECT_EQ(Call(d.unpack_string, Call(d.pack_string, text.c_str()).c_str()), text);
}

}  // namespace
