#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "test_support.h"

namespace {

// Every language block of the string table, by language id: at least 60,
// with Serbian and Croatian as region blocks (no neutral 0x001A).
constexpr WORD kLanguages[] = {
    0x0001, 0x0003, 0x0004, 0x0006, 0x0007, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000F,
    0x0010, 0x0013, 0x0014, 0x0016, 0x0019, 0x001B, 0x001D, 0x0020, 0x0023, 0x0024, 0x0025,
    0x0026, 0x0027, 0x0029, 0x002B, 0x002C, 0x002D, 0x0037, 0x0039, 0x003E, 0x003F, 0x0045,
    0x0056, 0x0064, 0x0402, 0x0404, 0x0405, 0x0407, 0x0408, 0x040C, 0x040E, 0x0410, 0x0411,
    0x0412, 0x0415, 0x0418, 0x0419, 0x041A, 0x041E, 0x041F, 0x0421, 0x0422, 0x042A, 0x0814,
    0x0816, 0x0C04, 0x0C0A, 0x141A, 0x241A, 0x281A};
static_assert(std::size(kLanguages) >= 60);
constexpr UINT kFirstText = 102;
constexpr UINT kLastText = 105;

// The built Launcher.exe, read as data: resources exactly as stored, with
// no language fallback.
class Resources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(BuiltLauncherPath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << "Launcher.exe not loadable"; }

  static std::string Raw(const wchar_t* type, const wchar_t* name, WORD language) {
    HRSRC found = FindResourceExW(module_, type, name, language);
    if (found == nullptr) {
      return {};
    }
    const void* data = LockResource(LoadResource(module_, found));
    return data == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(data), SizeofResource(module_, found));
  }

  // The 16 length-prefixed texts of the string block holding `id`.
  static std::vector<std::wstring> StringBlock(UINT id, WORD language) {
    const std::string raw = Raw(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    std::vector<std::wstring> texts;
    size_t offset = 0;
    while (!raw.empty() && texts.size() < 16 && offset + 2 <= raw.size()) {
      WORD length = 0;
      std::memcpy(&length, raw.data() + offset, 2);
      offset += 2;
      if (offset + length * 2u > raw.size()) {
        break;
      }
      std::wstring text(length, L'\0');
      std::memcpy(text.data(), raw.data() + offset, length * 2u);
      offset += length * 2u;
      texts.push_back(text);
    }
    return texts;
  }

  static HMODULE module_;
};

HMODULE Resources::module_ = nullptr;

// The product name is one unit that no line break splits (a no-break
// space; English, which begins with it, keeps the texts as they always
// read), and no case ending is hyphenated onto it, where a line could end.
TEST_F(Resources, EveryLanguageHoldsAllFourTextsWithTheNameInOnePiece) {
  for (const WORD language : kLanguages) {
    const std::vector<std::wstring> block = StringBlock(kFirstText, language);
    ASSERT_EQ(block.size(), 16u) << "language " << std::hex << language;
    for (UINT id = kFirstText; id <= kLastText; ++id) {
      const std::wstring& text = block[id % 16];
      EXPECT_NE(text.find(language == 0x0009 ? L"Zelqa anticheat" : L"Zelqa\u00a0anticheat"),
                std::wstring::npos)
          << "language " << std::hex << language << std::dec << " id " << id << ": "
          << Narrow(text);
      EXPECT_EQ(text.find(L"anticheat -"), std::wstring::npos) << Narrow(text);
      EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
    }
  }
}

TEST_F(Resources, NoOtherLanguagesAndFinnishIsNotFrench) {
  std::set<WORD> found;
  EnumResourceLanguagesW(
      module_, RT_STRING, MAKEINTRESOURCEW(kFirstText / 16 + 1),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR set) {
        reinterpret_cast<std::set<WORD>*>(set)->insert(language);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&found));
  EXPECT_EQ(found, std::set<WORD>(std::begin(kLanguages), std::end(kLanguages)));

  EXPECT_NE(StringBlock(kFirstText, 0x000B), StringBlock(kFirstText, 0x040C))
      << "Finnish players read Finnish";
  // A language's neutral block serves the regions without a block of their
  // own: French in Canada, German in Austria, Russian in Kazakhstan...
  for (const auto& [neutral, region] : {std::pair<WORD, WORD>{0x000C, 0x040C},
                                        {0x0007, 0x0407},
                                        {0x0010, 0x0410},
                                        {0x0019, 0x0419}}) {
    EXPECT_EQ(StringBlock(kFirstText, neutral), StringBlock(kFirstText, region))
        << std::hex << neutral;
  }
  EXPECT_NE(StringBlock(kFirstText, 0x000A), StringBlock(kFirstText, 0x0C0A))
      << "Spain has its own wording";
  const std::vector<std::wstring> english = StringBlock(kFirstText, 0x0009);
  ASSERT_EQ(english.size(), 16u);
  EXPECT_EQ(english[102 % 16], L"Zelqa anticheat could not be installed.");
  EXPECT_EQ(english[103 % 16],
            L"Zelqa anticheat installation is required to play this game. Do you want to install "
            L"it now?");
  EXPECT_EQ(english[104 % 16], L"Zelqa anticheat could not be uninstalled.");
  EXPECT_EQ(english[105 % 16],
            L"Zelqa anticheat is required to play this game. Do you want to uninstall it anyway?");
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width;
  BYTE height;
  BYTE colors;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(Resources, IconGroupHasSixSizesWithAPngAt256) {
  const std::string group = Raw(RT_GROUP_ICON, MAKEINTRESOURCEW(101), 0x0409);
  ASSERT_GE(group.size(), 6u);
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(count, 6u);
  ASSERT_EQ(group.size(), 6 + count * sizeof(IconGroupEntry));
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    IconGroupEntry entry{};
    std::memcpy(&entry, group.data() + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
    const int size = entry.width == 0 ? 256 : entry.width;
    sizes.push_back(size);
    EXPECT_EQ(entry.height, entry.width);
    EXPECT_EQ(entry.bitCount, 32u) << size;
    const std::string image = Raw(RT_ICON, MAKEINTRESOURCEW(entry.id), 0x0409);
    ASSERT_EQ(image.size(), entry.bytes) << size;
    if (size == 256) {
      EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
    } else {
      EXPECT_EQ(image.substr(0, 4), std::string("\x28\0\0\0", 4)) << "a bitmap of " << size;
    }
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 128, 256}));
}

TEST_F(Resources, LegacySetupAndVersionAreEmbedded) {
  const std::string setup = Raw(L"BINARY", MAKEINTRESOURCEW(106), 0x0409);
  ASSERT_GT(setup.size(), 2u);
  EXPECT_EQ(setup.substr(0, 2), "MZ") << "a program";

  const std::string version = Raw(RT_VERSION, MAKEINTRESOURCEW(1), 0x0409);
  const std::wstring key = L"ProductName";
  const std::string keyBytes(reinterpret_cast<const char*>(key.c_str()), (key.size() + 1) * 2);
  size_t at = version.find(keyBytes);
  ASSERT_NE(at, std::string::npos);
  at = (at + keyBytes.size() + 3) & ~size_t{3};  // values start on 4-byte boundaries
  ASSERT_LT(at, version.size());
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(version.data() + at), L"Zelqa anticheat");
}

}  // namespace
