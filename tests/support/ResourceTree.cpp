#include "tests/support/ResourceTree.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "interfaces/Resource.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

// A new directory of the test's own below the system's temporary one
// (created, not found: a name taken by another test is skipped).
std::string makeTemporary() {
    std::random_device entropy;
    std::mt19937_64 names((uint64_t(entropy()) << 32) ^ entropy());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "zulsound-test-%016llx", static_cast<unsigned long long>(names()));
        std::error_code error;
        if (fs::create_directory(base / name, error)) return (base / name).generic_string();
    }
    throw std::runtime_error("no temporary directory could be made");
}

uint32_t crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ResourceTree::ResourceTree(bool mount) : directory(makeTemporary()) {
    // A folder without content is refused by a mount: the tree starts as a
    // content folder whose files the test writes.
    if (mount) fs::create_directories(directory + "/Configs/Sounds");
    if (mount) mounted = theResourceManager->mount(directory, "/");
    if (mount && !mounted) throw std::runtime_error("cannot mount " + directory);
}

ResourceTree::~ResourceTree() {
    if (mounted) theResourceManager->unmount(directory);
    std::error_code ignored;
    fs::remove_all(directory, ignored);
}

std::string ResourceTree::pathOf(const std::string& resourcePath) const {
    return directory + (resourcePath.empty() || resourcePath[0] != '/' ? "/" : "") + resourcePath;
}

void ResourceTree::write(const std::string& resourcePath, const std::string& content) {
    const fs::path path = pathOf(resourcePath);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

void ResourceTree::makeDirectory(const std::string& resourcePath) { fs::create_directories(pathOf(resourcePath)); }

void ResourceTree::remove(const std::string& resourcePath) {
    std::error_code ignored;
    fs::remove_all(pathOf(resourcePath), ignored);
}

void ResourceTree::packZip(const std::string& archivePath) const {
    std::string body, central;
    uint32_t entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), directory).generic_string();
        const std::string data = readWholeFile(entry.path().string());
        const uint32_t crc = crc32(data);
        const uint32_t offset = static_cast<uint32_t>(body.size());
        put32(body, 0x04034b50);
        put16(body, 10), put16(body, 0), put16(body, 0), put16(body, 0), put16(body, 0x21);
        put32(body, crc), put32(body, data.size()), put32(body, data.size());
        put16(body, name.size()), put16(body, 0);
        body += name + data;
        put32(central, 0x02014b50);
        put16(central, 20), put16(central, 10), put16(central, 0), put16(central, 0);
        put16(central, 0), put16(central, 0x21);
        put32(central, crc), put32(central, data.size()), put32(central, data.size());
        put16(central, name.size()), put16(central, 0), put16(central, 0), put16(central, 0), put16(central, 0);
        put32(central, 0), put32(central, offset);
        central += name;
        ++entries;
    }
    std::string end;
    put32(end, 0x06054b50);
    put16(end, 0), put16(end, 0), put16(end, entries), put16(end, entries);
    put32(end, central.size()), put32(end, body.size()), put16(end, 0);
    std::ofstream out(archivePath, std::ios::binary | std::ios::trunc);
    out << body << central << end;
}

TemporaryDirectory::TemporaryDirectory() : directory(makeTemporary()) {}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    fs::remove_all(directory, ignored);
}

void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

}  // namespace testsupport
