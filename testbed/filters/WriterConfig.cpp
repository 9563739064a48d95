#include "WriterConfig.h"

#include "ConfigText.h"

#include <cstdint>

namespace tb {
namespace {

const char* const s_rgszMethods[wmCount] = {
    "GetWritten", "SetInterleaving", "GetInterleaving", "SetSaveBreaksOnly", "GetSaveBreaksOnly",
    "SetSharedAccess", "GetSharedAccess", "SetNonDrop", "GetNonDrop", "SetMdatMode", "GetMdatMode",
    "SetLongDur", "GetLongDur", "GetType", "GetOS", "GetName", "GetNumber", "GetDateTime"};

const char kNullText[] = "(null)";
const char kResultPrefix[] = "hr.";
const char kClassIdKey[] = "hr.GetClassID";

bool ParseBool(const std::string& value, BOOL* pb) {
    long long n = 0;
    if (!ParseInteger(value, &n) || n < INT32_MIN || n > INT32_MAX) return false;
    *pb = static_cast<BOOL>(n);
    return true;
}

bool ParseSwitch(const std::string& value, bool* pb) {
    if (value != "0" && value != "1") return false;
    *pb = value == "1";
    return true;
}

bool ParseInt(const std::string& value, int* pn, long long nMin, long long nMax) {
    long long n = 0;
    if (!ParseInteger(value, &n) || n < nMin || n > nMax) return false;
    *pn = static_cast<int>(n);
    return true;
}

void ParseIdentity(const std::string& value, IdentityString* pString) {
    pString->bNull = value == kNullText;
    pString->text = pString->bNull ? std::wstring() : Utf8ToWide(value);
}

// "<n>[,<n>...]", each signed decimal or 0x-hex; an empty value is the empty list.
bool ParseCounts(const std::string& value, std::vector<LONGLONG>* prgll) {
    std::vector<LONGLONG> rgll;
    for (size_t iStart = 0; !value.empty();) {
        size_t iEnd = value.find(',', iStart);
        long long n = 0;
        if (!ParseInteger(value.substr(iStart, iEnd - iStart), &n)) return false;
        rgll.push_back(n);
        if (iEnd == std::string::npos) break;
        iStart = iEnd + 1;
    }
    *prgll = rgll;
    return true;
}

std::string FormatCounts(const std::vector<LONGLONG>& rgll) {
    std::string text;
    for (LONGLONG ll : rgll) text += (text.empty() ? "" : ",") + std::to_string(ll);
    return text;
}

std::string FormatIdentity(const IdentityString& string) {
    return string.bNull ? kNullText : WideToUtf8(string.text.c_str());
}

int MethodOfKey(const std::string& key) {
    if (key.compare(0, sizeof kResultPrefix - 1, kResultPrefix) != 0) return -1;
    for (int i = 0; i < wmCount; ++i)
        if (key.compare(sizeof kResultPrefix - 1, std::string::npos, s_rgszMethods[i]) == 0) return i;
    return -1;
}

}  // namespace

const char* WriterMethodName(WriterMethod eMethod) { return s_rgszMethods[eMethod]; }

HRESULT WriterConfig::Set(const std::string& key, const std::string& value) {
    bool bOk = false;
    if (key == "interleaving") {
        long long n = 0;
        bOk = ParseInteger(value, &n) && n >= 0 && n <= UINT32_MAX;
        if (bOk) dwInterleavingMs = static_cast<DWORD>(n);
    } else if (key == "savebreaksonly") bOk = ParseBool(value, &bSaveBreaksOnly);
    else if (key == "sharedaccess") bOk = ParseBool(value, &bSharedAccess);
    else if (key == "nondrop") bOk = ParseBool(value, &bNonDrop);
    else if (key == "mdatmode") bOk = ParseBool(value, &bMdatMode);
    else if (key == "longdur") bOk = ParseBool(value, &bLongDur);
    else if (key == "name") bOk = (ParseIdentity(value, &name), true);
    else if (key == "number") bOk = (ParseIdentity(value, &number), true);
    else if (key == "date") bOk = (ParseIdentity(value, &dateTime), true);
    else if (key == "type") bOk = ParseInt(value, &eType, INT32_MIN, INT32_MAX);
    else if (key == "os") bOk = ParseInt(value, &eOS, INT32_MIN, INT32_MAX);
    else if (key == "failout") {
        bOk = value == "write" || value == "keep";
        if (bOk) bFailedGetterWrites = value == "write";
    } else if (key == "busy") bOk = ParseHresult(value, &hrRefuseWhileActive);
    else if (key == "pause") bOk = ParseHresult(value, &hrPause);
    else if (key == "written") bOk = ParseCounts(value, &rgllWritten);
    else if (key == "hidecontrol") bOk = ParseSwitch(value, &bHideControl);
    else if (key == "hideversion") bOk = ParseSwitch(value, &bHideVersion);
    else if (key == "inputs") bOk = ParseInt(value, &cInputs, 1, kMaxWriterInputs);
    else if (key == "journal") bOk = (journal = Utf8ToWide(value), true);
    else if (key == "statejournal") bOk = (stateJournal = Utf8ToWide(value), true);
    else if (key == kClassIdKey) bOk = ParseHresult(value, &hrGetClassID);
    else if (int iMethod = MethodOfKey(key); iMethod >= 0) bOk = ParseHresult(value, &rghrResult[iMethod]);
    return bOk ? S_OK : E_INVALIDARG;
}

std::string WriterConfig::Get(const std::string& key) const {
    if (key == "interleaving") return std::to_string(dwInterleavingMs);
    if (key == "savebreaksonly") return std::to_string(bSaveBreaksOnly);
    if (key == "sharedaccess") return std::to_string(bSharedAccess);
    if (key == "nondrop") return std::to_string(bNonDrop);
    if (key == "mdatmode") return std::to_string(bMdatMode);
    if (key == "longdur") return std::to_string(bLongDur);
    if (key == "name") return FormatIdentity(name);
    if (key == "number") return FormatIdentity(number);
    if (key == "date") return FormatIdentity(dateTime);
    if (key == "type") return std::to_string(eType);
    if (key == "os") return std::to_string(eOS);
    if (key == "failout") return bFailedGetterWrites ? "write" : "keep";
    if (key == "busy") return FormatHresult(hrRefuseWhileActive);
    if (key == "pause") return FormatHresult(hrPause);
    if (key == "written") return FormatCounts(rgllWritten);
    if (key == "hidecontrol") return bHideControl ? "1" : "0";
    if (key == "hideversion") return bHideVersion ? "1" : "0";
    if (key == "inputs") return std::to_string(cInputs);
    if (key == "journal") return WideToUtf8(journal.c_str());
    if (key == "statejournal") return WideToUtf8(stateJournal.c_str());
    if (key == kClassIdKey) return FormatHresult(hrGetClassID);
    if (int iMethod = MethodOfKey(key); iMethod >= 0) return FormatHresult(rghrResult[iMethod]);
    return std::string();
}

std::vector<std::string> WriterConfig::Keys() {
    std::vector<std::string> keys = {"interleaving", "savebreaksonly", "sharedaccess", "nondrop", "mdatmode",
                                     "longdur", "name", "number", "date", "type", "os", "failout", "busy", "pause",
                                     "written", "hidecontrol", "hideversion", "inputs", "journal",
                                     "statejournal"};
    for (const char* pszMethod : s_rgszMethods) keys.push_back(std::string(kResultPrefix) + pszMethod);
    keys.push_back(kClassIdKey);
    return keys;
}

std::string WriterConfig::Format() const {
    const WriterConfig defaults;
    std::string text;
    for (const std::string& key : Keys()) {
        std::string value = Get(key);
        if (value != defaults.Get(key)) text += key + "=" + value + "\n";
    }
    return text;
}

}  // namespace tb
