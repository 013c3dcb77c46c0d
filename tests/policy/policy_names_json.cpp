// Writes the machine policy the code reads (sitelock/policy_names.h) as
// JSON, for the check of the Group Policy templates:
//   {"key": "SOFTWARE\\Policies\\VELDORINCTL", "values": [{"name": ..., "type": "REG_DWORD"}, ...]}
#include <cstdio>

#include "sitelock/policy_names.h"
#include "tools/json/json_writer.h"

namespace {

const char* RegistryType(PolicyValueType type) {
    switch (type) {
        case PolicyValueType::MultiString:
            return "REG_MULTI_SZ";
        case PolicyValueType::Dword:
            return "REG_DWORD";
        case PolicyValueType::String:
            return "REG_SZ";
    }
    return "";
}

}  // namespace

int main() {
    JsonWriter json;
    json.BeginObject().Key("key").String(kPolicyKeyPath).Key("values").BeginArray();
    for (const PolicyValueName& value : kPolicyValues)
        json.BeginObject().Key("name").String(value.name).Key("type").String(RegistryType(value.type)).EndObject();
    json.EndArray().EndObject();
    std::fputs(json.Text().c_str(), stdout);
    return 0;
}
