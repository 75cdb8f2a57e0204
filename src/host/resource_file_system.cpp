#include "host/resource_file_system.h"

#include <cstdlib>
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
    if (bytes)
        *size = length;
    return bytes;
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
