// The shipped image itself: header fields that make it relocatable and
// hardened, no time stamp (MSVC: a hash in its place), and imports only from
// DLLs that Windows always loads from System32, so a DLL planted beside the
// launcher is never loaded.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// The KnownDLLs of current Windows versions (plus ntdll, always mapped).
const std::set<std::string> kSystemDlls = {
    "advapi32.dll", "combase.dll",  "comdlg32.dll", "gdi32.dll",    "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll",    "msvcrt.dll",   "normaliz.dll", "nsi.dll",      "ntdll.dll",
    "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",   "sechost.dll",  "setupapi.dll",
    "shcore.dll",   "shell32.dll",  "shlwapi.dll",  "user32.dll",   "wldap32.dll",  "ws2_32.dll"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A read-only view of a PE file that never reads outside the bytes: a
// truncated or damaged image makes the lookups fail instead of crashing.
class PeFile {
 public:
  static constexpr size_t kNowhere = SIZE_MAX;

  explicit PeFile(std::string bytes) : bytes_(std::move(bytes)) {
    IMAGE_DOS_HEADER dos{};
    if (!Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
      return;
    }
    headers_offset_ = static_cast<size_t>(dos.e_lfanew);
    if (!Read(headers_offset_, nt_) || nt_.Signature != IMAGE_NT_SIGNATURE ||
        nt_.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      return;
    }
    const size_t sections_offset = headers_offset_ + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                   nt_.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt_.FileHeader.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section{};
      if (!Read(sections_offset + i * sizeof(section), section)) {
        return;
      }
      sections_.push_back(section);
    }
    valid_ = true;
  }

  bool valid() const { return valid_; }
  const IMAGE_NT_HEADERS64& headers() const { return nt_; }

  IMAGE_DATA_DIRECTORY Directory(int index) const {
    return index < static_cast<int>(nt_.OptionalHeader.NumberOfRvaAndSizes)
               ? nt_.OptionalHeader.DataDirectory[index]
               : IMAGE_DATA_DIRECTORY{};
  }

  // The file offset of a relative virtual address, or kNowhere when no
  // section's raw data holds it.
  size_t Offset(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER& section : sections_) {
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
        return section.PointerToRawData + (rva - section.VirtualAddress);
      }
    }
    return kNowhere;
  }

  template <typename T>
  bool Read(size_t offset, T& value) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
      return false;
    }
    std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    return true;
  }

  // A NUL-terminated ASCII name at an RVA; empty when it runs off the file.
  std::string Name(DWORD rva) const {
    const size_t offset = Offset(rva);
    if (offset >= bytes_.size()) {
      return std::string();
    }
    const size_t end = bytes_.find('\0', offset);
    return end == std::string::npos ? std::string() : bytes_.substr(offset, end - offset);
  }

 private:
  std::string bytes_;
  size_t headers_offset_ = 0;
  IMAGE_NT_HEADERS64 nt_{};
  std::vector<IMAGE_SECTION_HEADER> sections_;
  bool valid_ = false;
};

struct Import {
  std::string dll;                     // lower case
  std::vector<std::string> functions;  // by name; ordinals are left out
};

// Walks the import descriptors; `complete` is false when a table ran off
// the file or has no terminator.
std::vector<Import> ReadImports(const PeFile& pe, bool& complete) {
  std::vector<Import> imports;
  complete = false;
  const IMAGE_DATA_DIRECTORY directory = pe.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  size_t offset = pe.Offset(directory.VirtualAddress);
  for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor{};
    if (!pe.Read(offset, descriptor)) {
      return imports;
    }
    if (descriptor.Name == 0) {
      break;
    }
    Import import{Lower(pe.Name(descriptor.Name)), {}};
    const DWORD thunks =
        descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
    for (size_t thunk = pe.Offset(thunks);; thunk += sizeof(ULONGLONG)) {
      ULONGLONG entry = 0;
      if (!pe.Read(thunk, entry)) {
        return imports;
      }
      if (entry == 0) {
        break;
      }
      if ((entry & IMAGE_ORDINAL_FLAG64) == 0) {
        // Skips the two-byte hint before the name.
        import.functions.push_back(pe.Name(static_cast<DWORD>(entry) + 2));
      }
    }
    imports.push_back(import);
  }
  complete = true;
  return imports;
}

class PeImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = ReadFileBytes(BuiltLauncherPath());
    ASSERT_FALSE(bytes_.empty()) << "cannot read " << Narrow(BuiltLauncherPath());
  }
  std::string bytes_;
};

TEST_F(PeImageTest, HeaderMakesA64BitHardenedGuiProgramWithoutTimeStamp) {
  const PeFile pe(bytes_);
  ASSERT_TRUE(pe.valid()) << "not a 64-bit PE image";
  const IMAGE_NT_HEADERS64& nt = pe.headers();
  EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  // Two builds of one commit must give the same bytes. MSVC's /Brepro puts
  // a hash of the image where the time would be and says so in a debug
  // directory entry of type 16 (IMAGE_DEBUG_TYPE_REPRO, which older SDK
  // headers lack); MinGW's linker writes 0.
#ifdef _MSC_VER
  const IMAGE_DATA_DIRECTORY debug = pe.Directory(IMAGE_DIRECTORY_ENTRY_DEBUG);
  const size_t entries = pe.Offset(debug.VirtualAddress);
  bool reproducible = false;
  for (size_t at = 0;
       entries != PeFile::kNowhere && at + sizeof(IMAGE_DEBUG_DIRECTORY) <= debug.Size;
       at += sizeof(IMAGE_DEBUG_DIRECTORY)) {
    IMAGE_DEBUG_DIRECTORY entry{};
    if (pe.Read(entries + at, entry) && entry.Type == 16) {
      reproducible = true;
    }
  }
  EXPECT_TRUE(reproducible) << "no reproducible-build entry: linked without /Brepro?";
#else
  EXPECT_EQ(nt.FileHeader.TimeDateStamp, 0u);
#endif

  const WORD hardening = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE |
                         IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA |
                         IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
  EXPECT_EQ(nt.OptionalHeader.DllCharacteristics & hardening, hardening)
      << std::hex << "DllCharacteristics 0x" << nt.OptionalHeader.DllCharacteristics;
  // A relocatable header over an image without relocations loads at its
  // preferred base every time: ASLR in name only.
  EXPECT_EQ(nt.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED, 0);
  const IMAGE_DATA_DIRECTORY relocations = pe.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
  EXPECT_GT(relocations.Size, 0u) << "no base relocation directory";
  EXPECT_NE(pe.Offset(relocations.VirtualAddress), PeFile::kNowhere)
      << "base relocations outside the file";
}

TEST_F(PeImageTest, ResourceDirectoryCarriesNoTimeStamp) {
  const PeFile pe(bytes_);
  ASSERT_TRUE(pe.valid());
  const IMAGE_DATA_DIRECTORY resources = pe.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
  IMAGE_RESOURCE_DIRECTORY root{};
  ASSERT_TRUE(pe.Read(pe.Offset(resources.VirtualAddress), root)) << "no resource directory";
  EXPECT_EQ(root.TimeDateStamp, 0u);
}

TEST_F(PeImageTest, ImportsComeOnlyFromSystemDlls) {
  const PeFile pe(bytes_);
  ASSERT_TRUE(pe.valid());
  bool complete = false;
  const std::vector<Import> imports = ReadImports(pe, complete);
  ASSERT_TRUE(complete) << "import table runs off the file";
  ASSERT_FALSE(imports.empty());

  bool setsDllDirectories = false;
  for (const Import& import : imports) {
    // wtsapi32 is no KnownDLL: importing it would load a copy planted
    // beside the launcher before the launcher's first line runs.
    EXPECT_TRUE(kSystemDlls.count(import.dll) == 1) << "imports from " << import.dll;
    if (import.dll == "kernel32.dll") {
      setsDllDirectories = std::find(import.functions.begin(), import.functions.end(),
                                     "SetDefaultDllDirectories") != import.functions.end();
    }
  }
  // Imported rather than looked up, so it runs before anything else loads.
  EXPECT_TRUE(setsDllDirectories) << "SetDefaultDllDirectories is not imported from kernel32";
}

}  // namespace
