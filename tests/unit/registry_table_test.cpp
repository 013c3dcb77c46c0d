// The module's registry table, read as an installer generator reads it:
// natively, as plain text.
#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "module/registry_table.h"

namespace {

using namespace veldorinctl::registration;

template <size_t N>
std::string DataOf(const RegistryEntry (&entries)[N], const std::string& key, const std::string& name = "") {
    for (const RegistryEntry& entry : entries) {
        if (key == entry.key && name == entry.name) return entry.data;
    }
    ADD_FAILURE() << "no value " << key << " [" << name << "]";
    return {};
}

template <size_t N>
void ExpectPlainAndUnique(const RegistryEntry (&entries)[N]) {
    std::set<std::pair<std::string, std::string>> seen;
    for (const RegistryEntry& entry : entries) {
        for (const char* text : {entry.key, entry.name, entry.data}) {
            for (const char* c = text; *c; ++c) EXPECT_LT(static_cast<unsigned char>(*c), 0x80) << text;
        }
        EXPECT_TRUE(seen.emplace(entry.key, entry.name).second) << entry.key << " [" << entry.name << "] twice";
        const std::string data = entry.data;
        const size_t at = data.find(kModulePathPlaceholder);
        EXPECT_TRUE(at == std::string::npos || at == 0) << "the module path begins the value: " << data;
    }
}

// A class interrupted half-way must not look like a working one: its
// server path is the class's last value.
template <size_t N>
void ExpectServerPathLast(const RegistryEntry (&entries)[N], const std::string& classKey) {
    const std::string server = classKey + "\\InprocServer32";
    size_t last = 0, serverAt = N;
    for (size_t i = 0; i < N; ++i) {
        const std::string key = entries[i].key;
        if (key.rfind(classKey, 0) == 0) last = i;
        if (key == server && std::string(entries[i].name).empty()) serverAt = i;
    }
    EXPECT_EQ(serverAt, last) << classKey;
    EXPECT_EQ(std::string(entries[serverAt].data), kModulePathPlaceholder);
}

TEST(RegistryTable, ControlClassAndProgIdNameEachOther) {
    ExpectPlainAndUnique(kControlEntries);
    const std::string classId = std::string(kControlClassKey).substr(6);
    EXPECT_EQ(classId.size(), 38u);
    EXPECT_EQ(classId, "{" VELDORINCTL_REGISTRY_TEXT(VELDORINCTL_CLSID_TEXT) "}");
    EXPECT_EQ(DataOf(kControlEntries, kControlClassKey + std::string("\\ProgID")), kControlProgId);
    EXPECT_EQ(DataOf(kControlEntries, kControlProgId + std::string("\\CLSID")), classId);
    EXPECT_EQ(DataOf(kControlEntries, kControlProgId), DataOf(kControlEntries, kControlClassKey));
    EXPECT_EQ(DataOf(kControlEntries, kControlClassKey + std::string("\\InprocServer32"), "ThreadingModel"),
              "Apartment");
    EXPECT_EQ(DataOf(kControlEntries, kControlClassKey + std::string("\\TypeLib")),
              "{" VELDORINCTL_REGISTRY_TEXT(VELDORINCTL_LIBID_TEXT) "}");
    EXPECT_EQ(DataOf(kControlEntries, kControlClassKey + std::string("\\Version")), "1.0");
    ExpectServerPathLast(kControlEntries, kControlClassKey);
}

TEST(RegistryTable, PropertyPageHasServerOnly) {
    ExpectPlainAndUnique(kPropPageEntries);
    EXPECT_EQ(std::size(kPropPageEntries), 2u);
    EXPECT_EQ(DataOf(kPropPageEntries, kPropPageClassKey), "VELDORINCTL Property Page");
    ExpectServerPathLast(kPropPageEntries, kPropPageClassKey);
}

TEST(RegistryTable, CategoriesAreRegistryGuids) {
    for (const ComponentCategory& category : kControlCategories) {
        const std::string id = category.id;
        ASSERT_EQ(id.size(), 36u);
        for (size_t i = 0; i < id.size(); ++i) {
            if (i == 8 || i == 13 || i == 18 || i == 23) {
                EXPECT_EQ(id[i], '-') << id;
            } else {
                EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(id[i])) && !std::islower(id[i])) << id;
            }
        }
        EXPECT_LE(std::string(category.description).size(), 127u);
    }
}

}  // namespace
