#include "host/resource_file_system.h"

#include <cstdlib>
#include <algorithm>
#include <cstring>

namespace {
FileSystem* g_current = nullptr;
}

ResourceFileSystem::ResourceFileSystem() : module_(GetModuleHandleW(nullptr)) {
    g_current = this;
}

void ResourceFileSystem::registerName(const wchar_t* name, uintptr_t id) {
    names_[name] = id;
}

const void* FileSystem::mapFile(const wchar_t*, std::size_t*) {
    return nullptr;
}

void FileSystem::releaseMapped(const void*, std::size_t) {}

namespace {

// Where the image's bytes at rva (length bytes) lie in its file, from the section table; false when
// they are not all inside one section's file data.
bool fileOffsetOf(HMODULE module, std::size_t rva, std::size_t length, std::size_t* offset) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        std::size_t start = section->VirtualAddress;
        if (rva >= start && rva - start + length <= section->SizeOfRawData) {
            *offset = section->PointerToRawData + (rva - start);
            return true;
        }
    }
    return false;
}

}  // namespace

const unsigned char* ResourceFileSystem::fileView() {
    auto guard = win::lock(viewLock_);
    if (!viewTried_) {
        viewTried_ = true;
        std::wstring path(MAX_PATH, L'\0');
        DWORD length;
        while ((length = GetModuleFileNameW(module_, path.data(), static_cast<DWORD>(path.size()))) ==
                   path.size() &&
               path.size() < 32768)
            path.resize(path.size() * 2);
        path.resize(length);
        win::unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size = {};
        if (length && file && GetFileSizeEx(file.get(), &size)) {
            win::unique_handle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
            if (mapping) {
                view_.reset(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
                viewSize_ = static_cast<std::size_t>(size.QuadPart);
            }
        }
    }
    return static_cast<const unsigned char*>(view_.get());
}

const void* ResourceFileSystem::lockResource(const wchar_t* name, DWORD* length) const {
    auto it = names_.find(name);
    if (it == names_.end())
        return nullptr;  // id 0 names no resource
    HRSRC resource = FindResourceW(module_, MAKEINTRESOURCEW(it->second), L"_TarvoResc");
    if (!resource)
        return nullptr;
    HGLOBAL loaded = LoadResource(module_, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    *length = SizeofResource(module_, resource);
    // An empty resource may lock to null; any non-null pointer stands for it.
    return bytes ? bytes : (*length == 0 ? static_cast<const void*>(&names_) : nullptr);
}

void* ResourceFileSystem::readFile(const wchar_t* name, std::size_t* size) {
    DWORD length = 0;
    const void* bytes = lockResource(name, &length);
    if (!bytes)
        return nullptr;
    auto* copy = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(length) + 4));
    if (!copy)
        return nullptr;
    if (length)
        std::memcpy(copy, bytes, length);
    std::memset(copy + length, 0, 4);
    *size = length;
    return copy;
}

const void* ResourceFileSystem::mapFile(const wchar_t* name, std::size_t* size) {
    DWORD length = 0;
    const void* bytes = lockResource(name, &length);
    if (!bytes)
        return nullptr;
    *size = length;
    std::size_t rva = static_cast<std::size_t>(static_cast<const unsigned char*>(bytes) -
                                               reinterpret_cast<const unsigned char*>(module_));
    std::size_t offset = 0;
    const unsigned char* file = length ? fileView() : nullptr;
    if (file && fileOffsetOf(module_, rva, length, &offset) && offset + length <= viewSize_ &&
        std::memcmp(file + offset, bytes, std::min<std::size_t>(length, 4096)) == 0)
        return file + offset;
    return bytes;
}

void ResourceFileSystem::releaseMapped(const void* bytes, std::size_t size) {
    const unsigned char* file = fileView();
    const auto* first = static_cast<const unsigned char*>(bytes);
    if (!file || first < file || size > viewSize_ ||
        first - file > static_cast<std::ptrdiff_t>(viewSize_ - size))
        return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::uintptr_t page = system.dwPageSize;
    std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(first) + page - 1) / page * page;
    std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(first) + size) / page * page;
    if (end <= start)
        return;
    // The view is read-only and file-backed: dropped pages come back from the file when read again.
    // Windows takes them out of the working set on unlock; Wine drops them on a reset.
    void* range = reinterpret_cast<void*>(start);
    VirtualUnlock(range, end - start);
    VirtualAlloc(range, end - start, MEM_RESET, PAGE_READONLY);
}

void ResourceFileSystem::freeBuffer(void* buffer) {
    std::free(buffer);
}

void FileBufferFree::operator()(void* buffer) const {
    if (files)
        files->freeBuffer(buffer);
    else
        std::free(buffer);
}

unique_file_buffer readOwnedFile(FileSystem& files, const wchar_t* name, std::size_t* size) {
    return unique_file_buffer(files.readFile(name, size), FileBufferFree{&files});
}

FileSystem* currentFileSystem() {
    return g_current;
}

void registerInstallerResources(ResourceFileSystem& files) {
    files.registerName(L"UI.lua", 111);
    files.registerName(L"frame.lz", 113);
    files.registerName(L"LG.lua", 114);
    files.registerName(L"program.lz", 115);
    files.registerName(L"style.lz", 116);
}
