#include "dialogue/llm_dialogue_line_schema.h"

namespace tw {

namespace {

OrderedJson stringProperty(const char* description) {
    return OrderedJson{{"type", "string"}, {"description", description}};
}

}  // namespace

const OrderedJson& LLMDialogueLineSchema::generationSchema() {
    static const OrderedJson schema = [] {
        OrderedJson properties = OrderedJson::object();
        properties["text"] =
            stringProperty("The line of dialogue spoken by the flea. 140 characters or fewer.");
        properties["tone"] = stringProperty(
            "Emotional tone. One of: tender, playful, brave, wistful, proud, mysterious, cozy, electric.");
        properties["refers_to_memory_id"] =
            OrderedJson{{"type", OrderedJson::array({"string", "null"})},
                        {"description", "ID of the memory this line refers back to, or null."}};
        properties["generated_by"] = stringProperty("Always set to 'llm'.");
        properties["cache_key"] = stringProperty("Stable cache key for this dialogue choice.");
        OrderedJson root = OrderedJson::object();
        root["type"] = "object";
        root["title"] = name;
        // Servers that enforce strict structured output refuse anything but a closed object
        // with every property required; the type of refers_to_memory_id still allows null.
        OrderedJson required = OrderedJson::array();
        for (const auto& property : properties.items()) required.push_back(property.key());
        root["properties"] = std::move(properties);
        root["required"] = std::move(required);
        root["additionalProperties"] = false;
        return root;
    }();
    return schema;
}

OrderedJson LLMDialogueLineSchema::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["text"] = text;
    json["tone"] = tone;
    if (refers_to_memory_id) json["refers_to_memory_id"] = *refers_to_memory_id;
    json["generated_by"] = generated_by;
    json["cache_key"] = cache_key;
    return json;
}

LLMDialogueLineSchema LLMDialogueLineSchema::fromJson(const JsonReader& reader) {
    if (!reader.isObject()) reader.fail(JsonErrorKind::typeMismatch, "expected an object");
    LLMDialogueLineSchema value;
    value.text = reader["text"].string();
    value.tone = reader["tone"].string();
    value.refers_to_memory_id = reader.optionalString("refers_to_memory_id");
    value.generated_by = reader["generated_by"].string();
    value.cache_key = reader["cache_key"].string();
    return value;
}

}  // namespace tw
