#include "group_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <variant>

#include "plugin_frame/type_guids.h"
#include "record_types.h"
#include "tagfile/compressed_file.h"
#include "tagfile/records.h"

namespace cgr {

namespace {

constexpr const char* kFileKind = "channel group";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// ---- hex and tags ----

std::string Hex(std::span<const uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Blanks between the digits are allowed, so that long runs can be laid out by hand.
std::vector<uint8_t> FromHex(const Json& v, const std::string& ptr, const std::string& where) {
    if (!v.is_string()) throw TextError(ptr, where + ": \"hex\" must be a string of hex digits");
    std::vector<uint8_t> out;
    int pending = -1;
    for (char c : v.get_ref<const std::string&>()) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) {
            if (c == ' ' || c == '\n' || c == '\t') continue;
            throw TextError(ptr, where + ": '" + std::string(1, c) + "' is not a hex digit");
        }
        if (pending < 0) {
            pending = d;
        } else {
            out.push_back(uint8_t(pending << 4 | d));
            pending = -1;
        }
    }
    if (pending >= 0) throw TextError(ptr, where + ": odd number of hex digits");
    return out;
}

// A tag is four bytes; bytes 0x80-0xFF read as the characters U+0080-U+00FF, so that any
// tag, even a damaged one, is a JSON string.
std::string TagText(const std::array<char, 4>& tag) {
    std::string out;
    for (char c : tag) {
        auto b = uint8_t(c);
        if (b < 0x80) {
            out += char(b);
        } else {
            out += char(0xC0 | b >> 6);
            out += char(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string TagBytes(const Json& v, const std::string& ptr, const std::string& where) {
    const std::string bad = where + ": \"tag\" must be four characters";
    if (!v.is_string()) throw TextError(ptr, bad);
    const std::string& s = v.get_ref<const std::string&>();
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        auto b = uint8_t(s[i]);
        if (b < 0x80) {
            out += char(b);
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < s.size()) {
            out += char((b & 0x03) << 6 | (uint8_t(s[++i]) & 0x3F));
        } else {
            throw TextError(ptr, bad + " from U+0000 to U+00FF");
        }
    }
    if (out.size() != 4) throw TextError(ptr, bad);
    return out;
}

bool IsUtf8(const std::string& s) {
    try {
        (void)Json(s).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// ---- field values ----

// A float shown with the fewest digits that read back to the same float.
Json FloatJson(float f) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, f).ptr;
    double d = 0;
    std::from_chars(text, end, d);
    if (std::bit_cast<uint32_t>(float(d)) == std::bit_cast<uint32_t>(f)) return d;
    return double(f);
}

int64_t Integer(const Json& v, int64_t low, int64_t high, const std::string& ptr, const std::string& where) {
    const std::string range = where + ": expected a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    if (v.is_number_unsigned()) {
        uint64_t u = v.get<uint64_t>();
        if (u > uint64_t(high)) throw TextError(ptr, range);
        return int64_t(u);
    }
    if (!v.is_number_integer()) throw TextError(ptr, range);
    int64_t i = v.get<int64_t>();
    if (i < low || i > high) throw TextError(ptr, range);
    return i;
}

double Number(const Json& v, const std::string& ptr, const std::string& where) {
    if (!v.is_number()) throw TextError(ptr, where + ": expected a number");
    return v.get<double>();
}

void PutScalar(uint8_t* out, Scalar s, const Json& v, const std::string& ptr, const std::string& where) {
    switch (s) {
        case Scalar::U8:
            *out = uint8_t(Integer(v, 0, 255, ptr, where));
            return;
        case Scalar::U32:
            tagfile::StoreU32(out, uint32_t(Integer(v, 0, 0xFFFFFFFFll, ptr, where)));
            return;
        case Scalar::I32:
            tagfile::StoreU32(out, uint32_t(Integer(v, INT32_MIN, INT32_MAX, ptr, where)));
            return;
        case Scalar::F32: {
            double d = Number(v, ptr, where);
            if (std::fabs(d) > std::numeric_limits<float>::max())
                throw TextError(ptr, where + ": number too large for a float");
            tagfile::StoreU32(out, std::bit_cast<uint32_t>(float(d)));
            return;
        }
        case Scalar::F64: {
            uint64_t bits = std::bit_cast<uint64_t>(Number(v, ptr, where));
            tagfile::StoreU32(out, uint32_t(bits));
            tagfile::StoreU32(out + 4, uint32_t(bits >> 32));
            return;
        }
        case Scalar::Bool:
            if (!v.is_boolean()) throw TextError(ptr, where + ": expected true or false");
            *out = v.get<bool>() ? 1 : 0;
            return;
        case Scalar::Guid: {
            std::optional<GUID> g = v.is_string() ? ParseGuid(v.get<std::string>()) : std::nullopt;
            if (!g) throw TextError(ptr, where + ": expected a GUID \"XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX\"");
            std::memcpy(out, &*g, 16);
            return;
        }
        case Scalar::Text:
            break;
    }
}

// The value of one scalar; nothing when the bytes have no exact JSON form.
std::optional<Json> GetScalar(const uint8_t* in, Scalar s) {
    switch (s) {
        case Scalar::U8:
            return Json(*in);
        case Scalar::U32:
            return Json(tagfile::ReadU32(in));
        case Scalar::I32:
            return Json(int32_t(tagfile::ReadU32(in)));
        case Scalar::F32: {
            float f = std::bit_cast<float>(tagfile::ReadU32(in));
            if (!std::isfinite(f)) return std::nullopt;
            return FloatJson(f);
        }
        case Scalar::F64: {
            double d = std::bit_cast<double>(uint64_t(tagfile::ReadU32(in)) | uint64_t(tagfile::ReadU32(in + 4)) << 32);
            if (!std::isfinite(d)) return std::nullopt;
            return Json(d);
        }
        case Scalar::Bool:
            if (*in > 1) return std::nullopt;
            return Json(*in == 1);
        case Scalar::Guid: {
            GUID g;
            std::memcpy(&g, in, 16);
            return Json(FormatGuid(g));
        }
        case Scalar::Text:
            break;
    }
    return std::nullopt;
}

std::string MemberWhere(const RecordLayout& r, const Member& m, const std::string& where) {
    return where + ", field " + Quoted(*m.name ? std::string(r.field) + "." + m.name : std::string(r.field));
}

void PutMember(std::vector<uint8_t>& out, const RecordLayout& r, const Member& m, const Json& v, const std::string& ptr,
               const std::string& recordWhere) {
    const std::string where = MemberWhere(r, m, recordWhere);
    if (m.scalar == Scalar::Text) {
        if (!v.is_string()) throw TextError(ptr, where + ": expected a text");
        const std::string& s = v.get_ref<const std::string&>();
        if (s.find('\0') != std::string::npos) throw TextError(ptr, where + ": a text holds no NUL");
        if (m.textBytes == 0) {
            out.assign(s.begin(), s.end());
            out.push_back(0);
        } else {
            if (s.size() >= m.textBytes)
                throw TextError(ptr, where + ": longer than " + std::to_string(m.textBytes - 1) + " bytes");
            std::memcpy(out.data() + m.offset, s.data(), s.size());
        }
        return;
    }
    const uint32_t size = ScalarSize(m.scalar);
    if (m.count == 1) return PutScalar(out.data() + m.offset, m.scalar, v, ptr, where);
    const uint32_t columns = m.columns ? m.columns : m.count;
    const uint32_t rows = m.count / columns;
    const std::string shape = m.columns ? std::to_string(rows) + " rows of " + std::to_string(columns) + " values"
                                        : "an array of " + std::to_string(m.count) + " values";
    auto element = [&](const Json& e, uint32_t i, const std::string& at) {
        PutScalar(out.data() + m.offset + size * i, m.scalar, e, at, where);
    };
    if (!v.is_array() || v.size() != (m.columns ? rows : m.count)) throw TextError(ptr, where + ": expected " + shape);
    for (uint32_t row = 0; row < v.size(); ++row) {
        const std::string at = ptr + "/" + std::to_string(row);
        if (!m.columns) {
            element(v[row], row, at);
            continue;
        }
        if (!v[row].is_array() || v[row].size() != columns) throw TextError(at, where + ": expected " + shape);
        for (uint32_t c = 0; c < columns; ++c) element(v[row][c], row * columns + c, at + "/" + std::to_string(c));
    }
}

std::optional<Json> GetMember(std::span<const uint8_t> data, const Member& m) {
    if (m.scalar == Scalar::Text) {
        auto text = m.textBytes ? data.subspan(m.offset, m.textBytes) : data;
        auto nul = std::find(text.begin(), text.end(), uint8_t(0));
        if (nul == text.end()) return std::nullopt;
        std::string s(text.begin(), nul);
        if (!IsUtf8(s)) return std::nullopt;
        return Json(s);
    }
    const uint32_t size = ScalarSize(m.scalar);
    if (m.count == 1) return GetScalar(data.data() + m.offset, m.scalar);
    Json all = Json::array();
    for (uint32_t i = 0; i < m.count; ++i) {
        std::optional<Json> v = GetScalar(data.data() + m.offset + size * i, m.scalar);
        if (!v) return std::nullopt;
        all.push_back(std::move(*v));
    }
    if (!m.columns) return all;
    Json rows = Json::array();
    for (uint32_t i = 0; i < m.count; i += m.columns) {
        Json row = Json::array();
        for (uint32_t c = 0; c < m.columns; ++c) row.push_back(all[i + c]);
        rows.push_back(std::move(row));
    }
    return rows;
}

// The bytes of a record described by its fields. `value` is null when the text gave none.
std::vector<uint8_t> PutRecord(const RecordLayout& r, const Json* value, const std::string& ptr, const std::string& where) {
    std::vector<uint8_t> out(r.size == kAnySize ? 0 : r.size, 0);
    if (r.members.empty()) {
        if (value) throw TextError(ptr + "/value", where + ": this record carries no value");
        return out;
    }
    if (!value) throw TextError(ptr, where + ": no \"value\" (or \"hex\")");
    if (r.members.size() == 1 && !*r.members[0].name) {
        PutMember(out, r, r.members[0], *value, ptr + "/value", where);
        return out;
    }
    if (!value->is_object()) throw TextError(ptr + "/value", where + ": \"value\" must be an object of the record's fields");
    for (const auto& item : value->items()) {
        const std::string& key = item.key();  // a name the lambda can capture (clang 14 takes no binding)
        bool known = std::any_of(r.members.begin(), r.members.end(), [&](const Member& m) { return key == m.name; });
        if (!known) throw TextError(ptr + "/value/" + key, where + ": " + Quoted(key) + " is not a field of " + Quoted(r.field));
    }
    for (const Member& m : r.members) {
        auto it = value->find(m.name);
        if (it == value->end()) throw TextError(ptr + "/value", MemberWhere(r, m, where) + ": missing");
        PutMember(out, r, m, *it, ptr + "/value/" + m.name, where);
    }
    return out;
}

// The fields of a record, or nothing when they would not give back exactly its bytes.
std::optional<Json> GetRecord(const RecordLayout& r, std::span<const uint8_t> data) {
    if (r.size != kAnySize && data.size() != r.size) return std::nullopt;
    Json value;
    if (r.members.size() == 1 && !*r.members[0].name) {
        std::optional<Json> v = GetMember(data, r.members[0]);
        if (!v) return std::nullopt;
        value = std::move(*v);
    } else if (!r.members.empty()) {
        value = Json::object();
        for (const Member& m : r.members) {
            std::optional<Json> v = GetMember(data, m);
            if (!v) return std::nullopt;
            value[m.name] = std::move(*v);
        }
    }
    try {
        std::vector<uint8_t> again = PutRecord(r, r.members.empty() ? nullptr : &value, "", "");
        if (!std::equal(again.begin(), again.end(), data.begin(), data.end())) return std::nullopt;
    } catch (const TextError&) {
        return std::nullopt;
    }
    return value;
}

// ---- dump ----

Json RawRecord(const tagfile::Record& rec) { return Json{{"tag", TagText(rec.tag)}, {"hex", Hex(rec.data)}}; }

Json RecordJson(const ChannelTypeLayout* type, const tagfile::Record& rec) {
    const RecordLayout* layout = type ? FindRecord(*type, std::string_view(rec.tag.data(), 4)) : nullptr;
    std::optional<Json> value = layout ? GetRecord(*layout, rec.data) : std::nullopt;
    if (!value) return RawRecord(rec);
    Json j{{"tag", TagText(rec.tag)}, {"field", layout->field}};
    if (!value->is_null()) j["value"] = std::move(*value);
    return j;
}

struct DumpedChannel {
    Json json;
    std::string name;
    std::vector<std::pair<int32_t, uint32_t>> links;  // link index, child's group index
};

// A channel block in the layout the engine writes; nothing for any other layout.
std::optional<DumpedChannel> DumpChannel(std::span<const uint8_t> block) {
    tagfile::RecordReader fields(block);
    tagfile::Record type, name, data, f;
    if (!fields.Next(type) || !type.Is("CTYP") || type.data.size() != 16) return std::nullopt;
    if (!fields.Next(name) || !name.Is("CNAM") || name.data.empty()) return std::nullopt;
    DumpedChannel out;
    out.name.assign(name.data.begin(), name.data.end() - 1);
    if (name.data.back() != 0 || out.name.find('\0') != std::string::npos || !IsUtf8(out.name)) return std::nullopt;
    if (!fields.Next(data) || !data.Is("CDAT")) return std::nullopt;
    while (fields.Next(f)) {
        if (!f.Is("CLNK") || f.data.size() != 8) return std::nullopt;
        out.links.emplace_back(int32_t(tagfile::ReadU32(f.data.data())), tagfile::ReadU32(f.data.data() + 4));
    }
    if (fields.Corrupt()) return std::nullopt;

    GUID guid;
    std::memcpy(&guid, type.data.data(), 16);
    const ChannelTypeLayout* layout = FindType(guid);
    Json records = Json::array();
    tagfile::RecordReader saved(data.data);
    while (saved.Next(f)) records.push_back(RecordJson(layout, f));
    if (saved.Corrupt()) return std::nullopt;

    out.json = Json{{"name", out.name}};
    if (layout) out.json["type"] = layout->name;
    out.json["guid"] = FormatGuid(guid);
    if (!records.empty()) out.json["records"] = std::move(records);
    return out;
}

// ---- build ----

void OnlyKeys(const Json& obj, std::initializer_list<const char*> keys, const std::string& ptr, const std::string& where) {
    for (const auto& item : obj.items()) {
        const std::string& key = item.key();
        bool known = std::any_of(keys.begin(), keys.end(), [&](const char* k) { return key == k; });
        if (!known) throw TextError(ptr + "/" + key, where + ": unknown key " + Quoted(key));
    }
}

std::vector<uint8_t> BuildRecord(const ChannelTypeLayout* type, const Json& item, const std::string& ptr,
                                 std::string where, std::string& tag) {
    if (!item.is_object()) throw TextError(ptr, where + ": a record must be an object with \"tag\"");
    OnlyKeys(item, {"tag", "field", "value", "hex"}, ptr, where);
    auto tagIt = item.find("tag");
    if (tagIt == item.end()) throw TextError(ptr, where + ": no \"tag\"");
    tag = TagBytes(*tagIt, ptr + "/tag", where);
    where += " " + Quoted(TagText({tag[0], tag[1], tag[2], tag[3]}));
    const RecordLayout* layout = type ? FindRecord(*type, tag) : nullptr;
    auto field = item.find("field");
    if (field != item.end()) {
        if (!layout) throw TextError(ptr + "/field", where + ": no field is known for this tag; give the record as \"hex\"");
        if (!field->is_string() || field->get<std::string>() != layout->field)
            throw TextError(ptr + "/field", where + ": the tag's field is " + Quoted(layout->field));
    }
    auto hex = item.find("hex");
    auto value = item.find("value");
    if (hex != item.end()) {
        if (value != item.end()) throw TextError(ptr, where + ": give either \"value\" or \"hex\", not both");
        return FromHex(*hex, ptr + "/hex", where);
    }
    if (!layout) {
        const std::string of = type ? "a record of " + Quoted(type->name) : "a record of a type without a table";
        throw TextError(ptr, where + ": not " + of + "; give its bytes as \"hex\"");
    }
    return PutRecord(*layout, value == item.end() ? nullptr : &*value, ptr, where);
}

std::string ChannelWhere(const Json& item, size_t i) {
    auto name = item.find("name");
    if (name != item.end() && name->is_string()) return "channel " + Quoted(name->get<std::string>());
    return "channel " + std::to_string(i);
}

void BuildChannel(tagfile::RecordWriter& w, const Json& ch, const std::string& ptr, const std::string& where,
                  const std::map<std::string, int>& byName) {
    OnlyKeys(ch, {"name", "type", "guid", "records", "links"}, ptr, where);
    const Json& name = ch["name"];
    if (!name.is_string() || name.get_ref<const std::string&>().find('\0') != std::string::npos)
        throw TextError(ptr + "/name", where + ": \"name\" must be a text without NUL");
    const ChannelTypeLayout* layout = nullptr;
    GUID guid{};
    auto guidIt = ch.find("guid");
    auto typeIt = ch.find("type");
    if (typeIt != ch.end() && !typeIt->is_string()) throw TextError(ptr + "/type", where + ": \"type\" must be a type name");
    if (guidIt != ch.end()) {
        std::optional<GUID> g = guidIt->is_string() ? ParseGuid(guidIt->get<std::string>()) : std::nullopt;
        if (!g) throw TextError(ptr + "/guid", where + ": \"guid\" must be \"XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX\"");
        guid = *g;
        layout = FindType(guid);
        if (layout && typeIt != ch.end() && typeIt->get<std::string>() != layout->name)
            throw TextError(ptr + "/type", where + ": the type of " + FormatGuid(guid) + " is " + Quoted(layout->name));
        const ChannelTypeLayout* named = typeIt != ch.end() ? FindTypeByName(typeIt->get<std::string>()) : nullptr;
        if (!layout && named)
            throw TextError(ptr + "/guid", where + ": the GUID of " + Quoted(named->name) + " is " + FormatGuid(named->guid));
    } else {
        if (typeIt == ch.end()) throw TextError(ptr, where + ": no \"guid\" or \"type\"");
        layout = FindTypeByName(typeIt->get<std::string>());
        if (!layout) throw TextError(ptr + "/type", where + ": unknown type " + typeIt->dump() + "; give its \"guid\"");
        guid = layout->guid;
    }

    const size_t block = w.BeginBlock("CHAN");
    w.WriteRecord("CTYP", &guid, 16);
    const std::string& text = name.get_ref<const std::string&>();
    w.WriteRecord("CNAM", text.c_str(), uint32_t(text.size() + 1));
    const size_t data = w.BeginBlock("CDAT");
    auto records = ch.find("records");
    if (records != ch.end()) {
        if (!records->is_array()) throw TextError(ptr + "/records", where + ": \"records\" must be an array");
        for (size_t i = 0; i < records->size(); ++i) {
            std::string tag;
            std::vector<uint8_t> bytes = BuildRecord(layout, (*records)[i], ptr + "/records/" + std::to_string(i),
                                                     where + ", record " + std::to_string(i), tag);
            w.WriteRecord(tag, bytes.data(), uint32_t(bytes.size()));
        }
    }
    w.EndBlock(data);
    auto links = ch.find("links");
    if (links != ch.end()) {
        if (!links->is_array()) throw TextError(ptr + "/links", where + ": \"links\" must be an array");
        for (size_t i = 0; i < links->size(); ++i) {
            const Json& link = (*links)[i];
            const std::string at = ptr + "/links/" + std::to_string(i);
            const std::string linkWhere = where + ", link " + std::to_string(i);
            if (!link.is_object()) throw TextError(at, linkWhere + ": a link must be an object with \"link\" and \"child\"");
            OnlyKeys(link, {"link", "child", "child index"}, at, linkWhere);
            if (!link.contains("link")) throw TextError(at, linkWhere + ": no \"link\" index");
            const auto linkIndex = int32_t(Integer(link["link"], INT32_MIN, INT32_MAX, at + "/link", linkWhere));
            uint32_t child = 0;
            if (link.contains("child") == link.contains("child index"))
                throw TextError(at, linkWhere + ": give either \"child\" (a name) or \"child index\"");
            if (link.contains("child")) {
                const Json& c = link["child"];
                auto it = c.is_string() ? byName.find(c.get<std::string>()) : byName.end();
                if (it == byName.end()) throw TextError(at + "/child", linkWhere + ": no channel is named " + c.dump());
                if (it->second < 0)
                    throw TextError(at + "/child", linkWhere + ": more than one channel is named " + c.dump() +
                                                       "; give \"child index\"");
                child = uint32_t(it->second);
            } else {
                child = uint32_t(Integer(link["child index"], 0, 0xFFFFFFFFll, at + "/child index", linkWhere));
            }
            uint8_t bytes[8];
            tagfile::StoreU32(bytes, uint32_t(linkIndex));
            tagfile::StoreU32(bytes + 4, child);
            w.WriteRecord("CLNK", bytes, 8);
        }
    }
    w.EndBlock(block);
}

// A tagged file of another known type: its records one after the other.
Json DumpRecordsFile(const ChannelTypeLayout& layout, std::span<const uint8_t> records) {
    Json list = Json::array();
    tagfile::RecordReader reader(records);
    tagfile::Record rec;
    while (reader.Next(rec)) list.push_back(RecordJson(&layout, rec));
    Json doc{{"file", layout.name}, {"records", std::move(list)}};
    if (reader.Corrupt()) doc["trailing"] = Hex(reader.Remaining());
    return doc;
}

std::vector<uint8_t> BuildRecordsFile(const ChannelTypeLayout& layout, const Json& doc) {
    OnlyKeys(doc, {"file", "records", "trailing"}, "", "the file");
    tagfile::RecordWriter w;
    tagfile::Guid16 type;
    std::memcpy(type.data(), &layout.guid, 16);
    w.WriteFileHeader(type);
    auto records = doc.find("records");
    if (records != doc.end()) {
        if (!records->is_array()) throw TextError("/records", "\"records\" must be an array");
        for (size_t i = 0; i < records->size(); ++i) {
            std::string tag;
            std::vector<uint8_t> bytes =
                BuildRecord(&layout, (*records)[i], "/records/" + std::to_string(i), "record " + std::to_string(i), tag);
            w.WriteRecord(tag, bytes.data(), uint32_t(bytes.size()));
        }
    }
    auto trailing = doc.find("trailing");
    if (trailing != doc.end()) {
        std::vector<uint8_t> bytes = FromHex(*trailing, "/trailing", "\"trailing\"");
        w.WriteData(bytes.data(), bytes.size());
    }
    return w.TakeBytes();
}

}  // namespace

Json DumpFile(std::span<const uint8_t> file) {
    tagfile::Guid16 fileType;
    std::span<const uint8_t> records;
    if (!tagfile::ReadFileHeader(file, fileType, records)) throw std::runtime_error("not a KRVF tagged file");
    if (tagfile::IsCompressedFile(file))
        throw std::runtime_error("a KRVF compressed file: unpack it first (cgrtool reads plain group files)");
    if (std::memcmp(fileType.data(), &type_guids::kChannelGroupFile, 16) != 0) {
        GUID g;
        std::memcpy(&g, fileType.data(), 16);
        if (const ChannelTypeLayout* layout = FindFileType(g)) return DumpRecordsFile(*layout, records);
        throw std::runtime_error("not a channel group file nor another file cgrtool knows (file type " +
                                 FormatGuid(g) + ")");
    }

    tagfile::RecordReader top(records);
    tagfile::Record rec;
    std::optional<uint32_t> count;
    if (top.Peek(rec) && rec.Is("CGCN") && rec.data.size() == 4) {
        count = tagfile::ReadU32(rec.data.data());
        top.Next(rec);
    }
    // Items in file order; channel blocks also in group order, for the links.
    std::vector<std::variant<Json, DumpedChannel>> items;
    std::vector<const DumpedChannel*> byIndex;
    std::map<std::string, int> names;
    while (top.Next(rec)) {
        if (!rec.Is("CHAN")) {
            items.emplace_back(RawRecord(rec));
            continue;
        }
        std::optional<DumpedChannel> ch = DumpChannel(rec.data);
        if (ch) {
            ++names[ch->name];
            items.emplace_back(std::move(*ch));
        } else {
            items.emplace_back(RawRecord(rec));
        }
    }
    for (auto& item : items) {
        if (auto* ch = std::get_if<DumpedChannel>(&item)) byIndex.push_back(ch);
        else if (std::get<Json>(item)["tag"] == "CHAN") byIndex.push_back(nullptr);
    }

    Json doc{{"file", kFileKind}};
    if (!count) doc["channel count"] = nullptr;
    else if (*count != byIndex.size()) doc["channel count"] = *count;
    Json channels = Json::array();
    for (auto& item : items) {
        auto* ch = std::get_if<DumpedChannel>(&item);
        if (!ch) {
            channels.push_back(std::move(std::get<Json>(item)));
            continue;
        }
        Json links = Json::array();
        for (auto [link, child] : ch->links) {
            const DumpedChannel* target = child < byIndex.size() ? byIndex[child] : nullptr;
            if (target && names[target->name] == 1) links.push_back(Json{{"link", link}, {"child", target->name}});
            else links.push_back(Json{{"link", link}, {"child index", child}});
        }
        if (!links.empty()) ch->json["links"] = std::move(links);
        channels.push_back(std::move(ch->json));
    }
    doc["channels"] = std::move(channels);
    if (top.Corrupt()) doc["trailing"] = Hex(top.Remaining());
    return doc;
}

std::vector<uint8_t> BuildFile(const Json& doc) {
    if (!doc.is_object()) throw TextError("", "the text must be a JSON object");
    auto kind = doc.find("file");
    if (kind != doc.end() && *kind != kFileKind) {
        const ChannelTypeLayout* layout = kind->is_string() ? FindFileTypeByName(kind->get<std::string>()) : nullptr;
        if (!layout) {
            std::string known = Quoted(kFileKind);
            for (const ChannelTypeLayout& t : FileTypes()) known += ", " + Quoted(t.name);
            throw TextError("/file", "\"file\" must be one of " + known);
        }
        return BuildRecordsFile(*layout, doc);
    }
    OnlyKeys(doc, {"file", "channel count", "channels", "trailing"}, "", "the file");
    static const Json kNone = Json::array();
    auto channelsIt = doc.find("channels");
    const Json& channels = channelsIt == doc.end() ? kNone : *channelsIt;
    if (!channels.is_array()) throw TextError("/channels", "\"channels\" must be an array");

    // Group indices of the channels by name; -1 marks a name given twice.
    std::map<std::string, int> byName;
    int chanCount = 0;
    for (size_t i = 0; i < channels.size(); ++i) {
        const Json& item = channels[i];
        const std::string ptr = "/channels/" + std::to_string(i);
        if (!item.is_object()) throw TextError(ptr, "channel " + std::to_string(i) + ": expected an object");
        if (item.contains("name")) {
            if (item["name"].is_string()) {
                auto [it, fresh] = byName.emplace(item["name"].get<std::string>(), chanCount);
                if (!fresh) it->second = -1;
            }
            ++chanCount;
        } else if (item.contains("tag")) {
            if (TagBytes(item["tag"], ptr + "/tag", "record " + std::to_string(i)) == "CHAN") ++chanCount;
        } else {
            throw TextError(ptr, "channel " + std::to_string(i) + ": no \"name\" (a channel) or \"tag\" (a raw record)");
        }
    }

    tagfile::RecordWriter w;
    tagfile::Guid16 type;
    std::memcpy(type.data(), &type_guids::kChannelGroupFile, 16);
    w.WriteFileHeader(type);
    auto countIt = doc.find("channel count");
    if (countIt == doc.end()) w.WriteRecordU32("CGCN", uint32_t(chanCount));
    else if (!countIt->is_null())
        w.WriteRecordU32("CGCN", uint32_t(Integer(*countIt, 0, 0xFFFFFFFFll, "/channel count", "\"channel count\"")));
    for (size_t i = 0; i < channels.size(); ++i) {
        const Json& item = channels[i];
        const std::string ptr = "/channels/" + std::to_string(i);
        if (item.contains("name")) {
            BuildChannel(w, item, ptr, ChannelWhere(item, i), byName);
            continue;
        }
        const std::string where = "record " + std::to_string(i);
        OnlyKeys(item, {"tag", "hex"}, ptr, where);
        if (!item.contains("hex")) throw TextError(ptr, where + ": no \"hex\"");
        std::vector<uint8_t> bytes = FromHex(item["hex"], ptr + "/hex", where);
        w.WriteRecord(TagBytes(item["tag"], ptr + "/tag", where), bytes.data(), uint32_t(bytes.size()));
    }
    auto trailing = doc.find("trailing");
    if (trailing != doc.end()) {
        std::vector<uint8_t> bytes = FromHex(*trailing, "/trailing", "\"trailing\"");
        w.WriteData(bytes.data(), bytes.size());
    }
    return w.TakeBytes();
}

namespace {

// Compact form with a blank after each ',' and ':'.
std::string OneLine(const Json& v) {
    if (!v.is_structured()) return v.dump();
    std::string out(1, v.is_array() ? '[' : '{');
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first) out += ", ";
        first = false;
        if (v.is_object()) out += Json(it.key()).dump() + ": ";
        out += OneLine(*it);
    }
    return out + (v.is_array() ? ']' : '}');
}

// Indented text where what fits on a line (a record, a link, a matrix row) stays on one.
void Pretty(const Json& v, size_t indent, std::string& out) {
    constexpr size_t kWidth = 110;
    std::string line = OneLine(v);
    if (!v.is_structured() || v.empty() || indent + line.size() <= kWidth) {
        out += line;
        return;
    }
    out += v.is_array() ? "[\n" : "{\n";
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first) out += ",\n";
        first = false;
        out.append(indent + 2, ' ');
        if (v.is_object()) out += Json(it.key()).dump() + ": ";
        Pretty(*it, indent + 2, out);
    }
    out += "\n";
    out.append(indent, ' ');
    out += v.is_array() ? ']' : '}';
}

}  // namespace

std::string DumpText(std::span<const uint8_t> file) {
    Json doc = DumpFile(file);
    std::vector<uint8_t> again = BuildFile(doc);
    if (!std::equal(again.begin(), again.end(), file.begin(), file.end()))
        throw std::runtime_error("internal fault: the dump does not build back to the same bytes");
    std::string text;
    Pretty(doc, 0, text);
    return text + "\n";
}

std::vector<uint8_t> BuildText(std::string_view text) {
    ParsedText parsed = ParseText(text);
    try {
        return BuildFile(parsed.doc);
    } catch (const TextError& e) {
        throw std::runtime_error("line " + std::to_string(parsed.LineOf(e.Pointer())) + ": " + e.what());
    }
}

}  // namespace cgr
