// Tests of Rotavue.dll as a file and as a loaded module: the names it
// exports, the stack each export leaves behind, the DLLs it needs at run
// time, its version resource and the protocol answers through the exports.
// The module is loaded as the host loads it; nothing of it is linked in.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "rotavue_dll.h"

// Calls `function` with `count` 32-bit arguments pushed right to left, as a
// stdcall or C caller does, stores its result in `*result` and returns the
// stack pointer after the call minus the stack pointer before the
// arguments were pushed: 0 when the callee removed exactly its arguments,
// -4 * count when it left them to the caller. A C function whose
// parameters are, in order, function, arguments, count and result; naked,
// so that the compiler adds no frame of its own.
#if defined(__i386__)
extern "C" __attribute__((naked)) std::int32_t measureStackAfterCall(const void*,
                                                                     const std::uint32_t*,
                                                                     std::uint32_t,
                                                                     std::uint32_t*) {
  __asm__(
      "  pushl %ebp\n"
      "  movl %esp, %ebp\n"
      "  pushl %ebx\n"
      "  pushl %esi\n"
      "  pushl %edi\n"
      "  movl 12(%ebp), %esi\n"  // arguments
      "  movl 16(%ebp), %ecx\n"  // count
      // Leave the stack 16-byte aligned at the call.
      "  leal 0(,%ecx,4), %eax\n"
      "  movl %esp, %edx\n"
      "  subl %eax, %edx\n"
      "  andl $-16, %edx\n"
      "  addl %eax, %edx\n"
      "  movl %edx, %esp\n"
      "  movl %esp, %ebx\n"  // the stack pointer before the arguments
      "1:\n"
      "  testl %ecx, %ecx\n"
      "  jz 2f\n"
      "  pushl -4(%esi,%ecx,4)\n"
      "  decl %ecx\n"
      "  jmp 1b\n"
      "2:\n"
      "  call *8(%ebp)\n"
      "  movl 20(%ebp), %edx\n"
      "  movl %eax, (%edx)\n"
      "  movl %esp, %eax\n"
      "  subl %ebx, %eax\n"
      "  leal -12(%ebp), %esp\n"
      "  popl %edi\n"
      "  popl %esi\n"
      "  popl %ebx\n"
      "  popl %ebp\n"
      "  ret\n");
}
#else
// x86_64 has one calling convention, in which the caller removes the
// arguments: there is no cleanup to measure, and the tests that measure it
// skip before they get here.
extern "C" std::int32_t measureStackAfterCall(const void*, const std::uint32_t*, std::uint32_t,
                                              std::uint32_t*) {
  ADD_FAILURE() << "measureStackAfterCall measures 32-bit x86 calls only";
  return 1;
}
#endif

namespace {

using rotavue_dll::copied;

const char kFunctionList[] =
    "GetImage|returnCurrentImage|returnCurrentImageName|GetRandomImage|ChangeWallpaper|"
    "GetShuffledImage";
const char kThreeParameters[] = "Nickname|Directory Name|Update Interval (Seconds)|";
const char kBadInterval[] = "'abc' is not a valid integer value";

const char kOneConvention[] =
    "x86_64 has one calling convention, in which the caller removes the arguments";

const std::set<std::string> kExportNames = {"init",
                                            "getparam",
                                            "getinfo",
                                            "dlltype",
                                            "dllstartup",
                                            "dllshutdown",
                                            "GetImage",
                                            "GetRandomImage",
                                            "ChangeWallpaper",
                                            "returnCurrentImage",
                                            "returnCurrentImageName",
                                            "GetShuffledImage"};

std::uint32_t __stdcall addTwoStdcall(std::uint32_t a, std::uint32_t b) { return a + b; }
std::uint32_t __cdecl addTwoCdecl(std::uint32_t a, std::uint32_t b) { return a + b; }

std::uint32_t word(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// A read-only view of a PE file's bytes (PE32 or PE32+), addressed by
// relative virtual address through the section table.
class PeFile {
 public:
  explicit PeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    IMAGE_DOS_HEADER dos{};
    if (!read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return;
    if (!read(static_cast<std::size_t>(dos.e_lfanew), nt_) || nt_.Signature != IMAGE_NT_SIGNATURE)
      return;
    // A 64-bit file's optional header has wider fields before its directories.
    IMAGE_NT_HEADERS64 nt64{};
    if (nt_.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC &&
        !read(static_cast<std::size_t>(dos.e_lfanew), nt64))
      return;
    const IMAGE_DATA_DIRECTORY* directories =
        nt_.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
            ? nt64.OptionalHeader.DataDirectory
            : nt_.OptionalHeader.DataDirectory;
    std::copy(directories, directories + IMAGE_NUMBEROF_DIRECTORY_ENTRIES, directories_);
    std::size_t offset = static_cast<std::size_t>(dos.e_lfanew) + sizeof(DWORD) +
                         sizeof(IMAGE_FILE_HEADER) + nt_.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt_.FileHeader.NumberOfSections;
         ++i, offset += sizeof(IMAGE_SECTION_HEADER)) {
      IMAGE_SECTION_HEADER section{};
      if (!read(offset, section)) return;
      sections_.push_back(section);
    }
    valid_ = true;
  }

  bool valid() const { return valid_; }
  const IMAGE_FILE_HEADER& fileHeader() const { return nt_.FileHeader; }
  IMAGE_DATA_DIRECTORY directory(int index) const { return directories_[index]; }

  template <typename Record>
  bool readAt(DWORD rva, Record& record) const {
    std::size_t offset = 0;
    return offsetOf(rva, offset) && read(offset, record);
  }
  // The NUL-terminated text at `rva`; "<bad rva>" when it lies outside the file.
  std::string textAt(DWORD rva) const {
    std::size_t offset = 0;
    if (!offsetOf(rva, offset)) return "<bad rva>";
    const auto end =
        std::find(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), bytes_.end(), '\0');
    return std::string(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), end);
  }

 private:
  template <typename Record>
  bool read(std::size_t offset, Record& record) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof record) return false;
    std::memcpy(&record, bytes_.data() + offset, sizeof record);
    return true;
  }
  bool offsetOf(DWORD rva, std::size_t& offset) const {
    for (const IMAGE_SECTION_HEADER& section : sections_) {
      const DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
        offset = section.PointerToRawData + (rva - section.VirtualAddress);
        return offset < bytes_.size();
      }
    }
    return false;
  }

  std::vector<char> bytes_;
  IMAGE_NT_HEADERS32 nt_{};
  IMAGE_DATA_DIRECTORY directories_[IMAGE_NUMBEROF_DIRECTORY_ENTRIES]{};
  std::vector<IMAGE_SECTION_HEADER> sections_;
  bool valid_ = false;
};

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

class DllInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.loaded()) << "LoadLibraryA(\"Rotavue.dll\") failed: " << ::GetLastError();
  }

  rotavue_dll::Module module_;
  rotavue_dll::Exports exports_{module_};
};

TEST_F(DllInterface, ExportsResolveByUndecoratedNamesOnly) {
  for (const std::string& name : kExportNames)
    EXPECT_NE(module_.address(name.c_str()), nullptr) << name;
  for (const char* decorated :
       {"_init", "_dlltype", "_getparam@4", "getparam@4", "_getinfo@4", "getinfo@4",
        "_dllstartup@8", "dllstartup@8", "_dllshutdown@4", "_GetImage@16", "GetImage@16",
        "GetRandomImage@16", "ChangeWallpaper@16", "_returnCurrentImage@12",
        "returnCurrentImageName@12", "GetShuffledImage@16", "_GetShuffledImage@16", "getimage",
        "INIT"})
    EXPECT_EQ(module_.address(decorated), nullptr) << decorated;
}

TEST_F(DllInterface, MeasuringHelperTellsTheConventionsApart) {
  if (sizeof(void*) != 4) GTEST_SKIP() << kOneConvention;
  const std::uint32_t arguments[] = {2, 3, 4};
  std::uint32_t result = 0;
  EXPECT_EQ(
      measureStackAfterCall(reinterpret_cast<const void*>(&addTwoStdcall), arguments, 2, &result),
      0);
  EXPECT_EQ(result, 5u);
  EXPECT_EQ(
      measureStackAfterCall(reinterpret_cast<const void*>(&addTwoCdecl), arguments, 2, &result),
      -8);
  EXPECT_EQ(result, 5u);
  // A stdcall callee given one argument more than it takes leaves that one.
  EXPECT_EQ(
      measureStackAfterCall(reinterpret_cast<const void*>(&addTwoStdcall), arguments, 3, &result),
      -4);
}

TEST_F(DllInterface, EveryExportLeavesTheStackAsItFoundIt) {
  if (sizeof(void*) != 4) GTEST_SKIP() << kOneConvention;
  std::uint32_t result = 0;
  auto call = [&](const char* name, std::vector<std::uint32_t> arguments) {
    result = 0xDEADBEEF;
    const FARPROC function = module_.address(name);
    if (function == nullptr) {
      result = 0;
      ADD_FAILURE() << name << " does not resolve";
      return 1;
    }
    return measureStackAfterCall(reinterpret_cast<const void*>(function), arguments.data(),
                                 static_cast<std::uint32_t>(arguments.size()), &result);
  };
  auto text = [&] { return copied(reinterpret_cast<const char*>(result)); };

  EXPECT_EQ(call("init", {}), 0);
  EXPECT_EQ(text(), kFunctionList);
  EXPECT_EQ(call("dlltype", {}), 0);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(call("getparam", {word("GetImage")}), 0);
  EXPECT_EQ(text(), kThreeParameters);
  EXPECT_EQ(call("getinfo", {2}), 0);
  EXPECT_EQ(text(), "0.1");
  EXPECT_EQ(call("dllstartup", {7, 9}), 0);
  const std::uint32_t handle = result;
  ASSERT_NE(handle, 0u);

  // An interval that is no integer keeps every image function away from the
  // registry and the disk.
  const std::uint32_t nick = word("StackCheck");
  const std::uint32_t root = word("C:\\");
  const std::uint32_t bad = word("abc");
  EXPECT_EQ(call("GetImage", {handle, nick, root, bad}), 0);
  EXPECT_EQ(text(), std::string("GetImage:") + kBadInterval);
  EXPECT_EQ(call("GetRandomImage", {handle, nick, root, bad}), 0);
  EXPECT_EQ(text(), kBadInterval);
  EXPECT_EQ(call("GetShuffledImage", {handle, nick, root, bad}), 0);
  EXPECT_EQ(text(), kBadInterval);
  EXPECT_EQ(call("ChangeWallpaper", {handle, nick, root, word("0")}), 0);
  EXPECT_EQ(text(), "This will change the Wallpaper all in good time :-)");
  EXPECT_EQ(call("returnCurrentImage", {handle, nick, bad}), 0);
  EXPECT_EQ(text(), kBadInterval);
  EXPECT_EQ(call("returnCurrentImageName", {handle, nick, bad}), 0);
  EXPECT_EQ(text(), kBadInterval);
  EXPECT_EQ(call("dllshutdown", {handle}), 0);
  EXPECT_EQ(result, 0u);
}

TEST_F(DllInterface, FileExportsExactlyTheProtocolAndImportsOnlyWindows) {
  const PeFile pe(module_.path());
  ASSERT_TRUE(pe.valid()) << module_.path();
  // The module of the build's own kind: 32-bit, or 64-bit in the 64-bit test build.
  EXPECT_EQ(pe.fileHeader().Machine,
            sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
  EXPECT_NE(pe.fileHeader().Characteristics & IMAGE_FILE_DLL, 0);

  IMAGE_EXPORT_DIRECTORY exports{};
  ASSERT_TRUE(pe.readAt(pe.directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress, exports));
  EXPECT_EQ(pe.textAt(exports.Name), "Rotavue.dll");
  std::vector<std::string> names;
  for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
    DWORD nameRva = 0;
    ASSERT_TRUE(pe.readAt(exports.AddressOfNames + i * DWORD{sizeof(DWORD)}, nameRva));
    names.push_back(pe.textAt(nameRva));
  }
  EXPECT_EQ(names.size(), kExportNames.size());
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), kExportNames);

  const std::set<std::string> windowsDlls = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"};
  std::vector<std::string> imports;
  DWORD rva = pe.directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress;
  for (;; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor{};
    ASSERT_TRUE(pe.readAt(rva, descriptor));
    if (descriptor.Name == 0) break;
    imports.push_back(pe.textAt(descriptor.Name));
  }
  EXPECT_FALSE(imports.empty());
  for (const std::string& dll : imports)
    EXPECT_EQ(windowsDlls.count(lowerCase(dll)), 1u) << "Rotavue.dll needs " << dll;
}

TEST_F(DllInterface, VersionResourceCarriesTheProjectVersion) {
  const std::string path = module_.path();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  // major.minor.patch.0, two 16-bit parts in each word.
  const DWORD high = static_cast<DWORD>(ROTAVUE_VERSION_MAJOR) << 16 | ROTAVUE_VERSION_MINOR;
  const DWORD low = static_cast<DWORD>(ROTAVUE_VERSION_PATCH) << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, sizeof(Translation));
  auto stringValue = [&](const char* name) {
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                  translation->codePage, name);
    char* value = nullptr;
    UINT valueLength = 0;
    if (!::VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &valueLength))
      return std::string("<missing>");
    return std::string(value);
  };
  EXPECT_EQ(stringValue("ProductName"), "Rotavue");
  EXPECT_EQ(stringValue("ProductVersion"), ROTAVUE_VERSION);
  EXPECT_EQ(stringValue("FileVersion"), ROTAVUE_VERSION);
  EXPECT_EQ(stringValue("OriginalFilename"), "Rotavue.dll");
  // Company-free: the copyright line names the makers.
  EXPECT_EQ(stringValue("CompanyName"), "<missing>");
  EXPECT_NE(stringValue("LegalCopyright").find("Rotavue developers"), std::string::npos);
}

TEST_F(DllInterface, ProtocolAnswersThroughTheExports) {
  ASSERT_TRUE(exports_.complete());
  EXPECT_EQ(copied(exports_.init()), kFunctionList);
  EXPECT_EQ(exports_.dlltype(), 1);

  for (const char* name :
       {"GetImage", "getimage", "GETRANDOMIMAGE", "ChangeWallpaper", "getshuffledimage"})
    EXPECT_EQ(copied(exports_.getparam(name)), kThreeParameters) << name;
  for (const char* name : {"returnCurrentImage", "RETURNCURRENTIMAGENAME"})
    EXPECT_EQ(copied(exports_.getparam(name)), "Nickname|") << name;
  for (const char* name : {"GetImages", "", "init"})
    EXPECT_EQ(copied(exports_.getparam(name)), "") << name;
  EXPECT_EQ(copied(exports_.getparam(nullptr)), "");

  const char* const rows[] = {"Rotavue Plugin", "Morvanek", "0.1", "10/04/04", "24/04/04"};
  for (std::int32_t index = 0; index < 5; ++index)
    EXPECT_EQ(copied(exports_.getinfo(index)), rows[index]) << index;
  EXPECT_NE(copied(exports_.getinfo(5)), "");
  EXPECT_NE(copied(exports_.getinfo(6)), "");
  EXPECT_EQ(copied(exports_.getinfo(7)), "");
  EXPECT_EQ(copied(exports_.getinfo(-1)), "");

  const std::uint32_t first = exports_.dllstartup(0, 0);
  const std::uint32_t second = exports_.dllstartup(0, 0);
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);
  EXPECT_EQ(exports_.dllshutdown(first), 0);
  EXPECT_EQ(exports_.dllshutdown(second), 0);
  EXPECT_EQ(exports_.dllshutdown(second), 0);
}

}  // namespace
