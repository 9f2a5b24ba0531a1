#pragma once
// A setting's typed value, written as a bare, untagged JSON value.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace tw {

struct TroupeSettingValue {
    // Alternative index = the case index that hashing feeds:
    // 0 string, 1 bool, 2 int, 3 double, 4 stringArray, 5 null.
    using Storage =
        std::variant<std::string, bool, std::int64_t, double, std::vector<std::string>, std::monostate>;
    enum class Case : std::size_t { string = 0, bool_ = 1, int_ = 2, double_ = 3, stringArray = 4, null = 5 };

    Storage value{std::monostate{}};

    static TroupeSettingValue ofString(std::string text) {
        return {Storage{std::in_place_index<0>, std::move(text)}};
    }
    static TroupeSettingValue ofBool(bool flag) { return {Storage{std::in_place_index<1>, flag}}; }
    static TroupeSettingValue ofInt(std::int64_t number) { return {Storage{std::in_place_index<2>, number}}; }
    static TroupeSettingValue ofDouble(double number) { return {Storage{std::in_place_index<3>, number}}; }
    static TroupeSettingValue ofStringArray(std::vector<std::string> list) {
        return {Storage{std::in_place_index<4>, std::move(list)}};
    }
    static TroupeSettingValue null() { return {Storage{std::in_place_index<5>}}; }

    Case valueCase() const { return static_cast<Case>(value.index()); }
    bool isNull() const { return value.index() == 5; }
    const std::string* asString() const { return std::get_if<0>(&value); }
    const bool* asBool() const { return std::get_if<1>(&value); }
    const std::int64_t* asInt() const { return std::get_if<2>(&value); }
    const double* asDouble() const { return std::get_if<3>(&value); }
    const std::vector<std::string>* asStringArray() const { return std::get_if<4>(&value); }

    // Same case and equal payload: int 1 differs from double 1.0, "true" from true.
    friend bool operator==(const TroupeSettingValue& a, const TroupeSettingValue& b);
};

}  // namespace tw

template <>
struct std::hash<tw::TroupeSettingValue> {
    std::size_t operator()(const tw::TroupeSettingValue& value) const;
};
