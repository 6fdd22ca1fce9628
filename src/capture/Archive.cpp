#include "capture/Archive.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace duolo {
namespace {

constexpr uint16_t kNullTag = 0x0000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
// The last index the scheme can express (the large class form needs the top bit).
constexpr uint32_t kMaxIndex = 0x7FFFFFFEu;
// Class names are short identifiers; anything this long is not one.
constexpr std::size_t kMaxClassNameLength = 63;


void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Writing

template <class T>
void ArchiveWriter::append(T value)
{
    const std::size_t at = out_.size();
    out_.resize(at + sizeof value);
    std::memcpy(out_.data() + at, &value, sizeof value);
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(out_.begin() + static_cast<std::ptrdiff_t>(at), out_.end());
}

void ArchiveWriter::writeUInt16(uint16_t value) { append(value); }
void ArchiveWriter::writeUInt32(uint32_t value) { append(value); }
void ArchiveWriter::writeDouble(double value) { append(std::bit_cast<uint64_t>(value)); }

void ArchiveWriter::writeString(std::string_view text)
{
    const std::size_t n = text.size();
    if (n < 0xFF) {
        writeByte(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        writeByte(0xFF);
        writeUInt16(static_cast<uint16_t>(n));
    } else {
        if (n > 0xFFFFFFFFu)
            throw std::length_error("string too long for the archive");
        writeByte(0xFF);
        writeUInt16(0xFFFF);
        writeUInt32(static_cast<uint32_t>(n));
    }
    out_.insert(out_.end(), text.begin(), text.end());
}

void ArchiveWriter::writeCount(std::size_t count)
{
    if (count < 0xFFFF) {
        writeUInt16(static_cast<uint16_t>(count));
    } else {
        if (count > 0xFFFFFFFFu)
            throw std::length_error("list too long for the archive");
        writeUInt16(0xFFFF);
        writeUInt32(static_cast<uint32_t>(count));
    }
}

uint32_t ArchiveWriter::takeIndex()
{
    if (nextIndex_ > kMaxIndex)
        throw std::length_error("too many objects for the archive");
    return nextIndex_++;
}

void ArchiveWriter::writeIndexTag(uint32_t index, bool isClass)
{
    if (index < kBigObjectTag) {
        writeUInt16(static_cast<uint16_t>(isClass ? (kClassTag | index) : index));
    } else {
        writeUInt16(kBigObjectTag);
        writeUInt32(isClass ? (kBigClassTag | index) : index);
    }
}

bool ArchiveWriter::writeObject(const void* object, std::string_view className)
{
    if (!object) {
        writeUInt16(kNullTag);
        return false;
    }
    if (auto found = objectIndex_.find(object); found != objectIndex_.end()) {
        writeIndexTag(found->second, false);
        return false;
    }
    writeClassTag(className);
    objectIndex_.emplace(object, takeIndex());
    return true;
}

void ArchiveWriter::writeNewObject(std::string_view className)
{
    writeClassTag(className);
    takeIndex();
}

void ArchiveWriter::writeClassTag(std::string_view className)
{
    for (const auto& [name, index] : classIndex_) {
        if (name == className) {
            writeIndexTag(index, true);
            return;
        }
    }
    writeUInt16(kNewClassTag);
    writeUInt16(0);  // schema
    writeUInt16(static_cast<uint16_t>(className.size()));
    out_.insert(out_.end(), className.begin(), className.end());
    classIndex_.emplace_back(std::string(className), takeIndex());
}

// ---------------------------------------------------------------------------------------------
// Reading

ArchiveReader::ArchiveReader(const uint8_t* data, std::size_t size, std::vector<std::string> classNames)
    : data_(data), size_(size), classNames_(std::move(classNames))
{
}

void ArchiveReader::fail(const std::string& problem, std::size_t offset) const
{
    throw ArchiveError(problem + " at byte " + std::to_string(offset));
}

std::string ArchiveReader::whereNow() const
{
    if (recordStack_.empty())
        return "the file";
    const std::string& name = recordStack_.back();
    if (name == "session")
        return "the session record";
    const bool vowel = !name.empty() && std::string_view("AEIOU").find(name[0]) != std::string_view::npos;
    return (vowel ? "an " : "a ") + name + " record";
}

void ArchiveReader::need(std::size_t bytes)
{
    if (bytes <= remaining())
        return;
    throw ArchiveError("truncated: file ends inside " + whereNow() + " at byte " + std::to_string(size_));
}

void ArchiveReader::failNoRoom(const std::string& what, std::size_t offset) const
{
    fail("truncated or corrupt: " + what + " does not fit in the " + std::to_string(remaining()) +
             " bytes left, inside " + whereNow(),
         offset);
}

uint8_t ArchiveReader::readByte()
{
    need(1);
    return data_[pos_++];
}

template <class T>
T ArchiveReader::take()
{
    need(sizeof(T));
    T value;
    std::memcpy(&value, data_ + pos_, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        auto* bytes = reinterpret_cast<uint8_t*>(&value);
        std::reverse(bytes, bytes + sizeof value);
    }
    pos_ += sizeof value;
    return value;
}

uint16_t ArchiveReader::readUInt16() { return take<uint16_t>(); }
uint32_t ArchiveReader::readUInt32() { return take<uint32_t>(); }
double ArchiveReader::readDouble() { return std::bit_cast<double>(take<uint64_t>()); }

uint32_t ArchiveReader::readLength(bool& wide)
{
    wide = false;
    uint8_t b = readByte();
    if (b < 0xFF)
        return b;
    uint16_t w = readUInt16();
    if (w == 0xFFFE) {
        // Wide text follows; its length comes in the same scheme again.
        wide = true;
        b = readByte();
        if (b < 0xFF)
            return b;
        w = readUInt16();
    }
    if (w < 0xFFFF)
        return w;
    return readUInt32();
}

std::string ArchiveReader::readString()
{
    const std::size_t start = pos_;
    bool wide = false;
    const uint32_t n = readLength(wide);
    const std::size_t bytes = wide ? 2 * static_cast<std::size_t>(n) : n;
    if (bytes > remaining())
        failNoRoom("a string of " + std::to_string(n) + " characters", start);
    std::string text;
    if (!wide) {
        text.assign(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return text;
    }
    text.reserve(n);
    const uint8_t* p = data_ + pos_;
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t unit = static_cast<uint32_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < n) {
            uint32_t low = static_cast<uint32_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000)
            unit = 0xFFFD;  // an unpaired surrogate
        appendUtf8(text, unit);
    }
    pos_ += bytes;
    return text;
}

uint32_t ArchiveReader::readCount(std::size_t minElementBytes)
{
    const std::size_t start = pos_;
    uint32_t count = readUInt16();
    if (count == 0xFFFF)
        count = readUInt32();
    if (minElementBytes > 0 && count > remaining() / minElementBytes)
        failNoRoom("a list of " + std::to_string(count) + " elements", start);
    return count;
}

int ArchiveReader::readNewClass(std::size_t offset)
{
    const uint16_t schema = readUInt16();
    const uint16_t length = readUInt16();
    if (length > kMaxClassNameLength) {
        if (length > remaining())
            need(length);
        fail("class name of " + std::to_string(length) + " characters", offset);
    }
    need(length);
    std::string name(reinterpret_cast<const char*>(data_ + pos_), length);
    pos_ += length;
    int classId = -1;
    for (std::size_t i = 0; i < classNames_.size(); ++i)
        if (classNames_[i] == name)
            classId = static_cast<int>(i);
    if (classId < 0) {
        std::string shown;
        for (char c : name)
            shown += (c >= 0x20 && c < 0x7F) ? c : '?';
        fail("unknown class \"" + shown + "\"", offset);
    }
    if (schema != 0)
        fail("class " + name + " has schema " + std::to_string(schema) + ", expected 0", offset);
    entries_.push_back({true, classId, nullptr});
    return classId;
}

ArchiveReader::Entry& ArchiveReader::entryAt(uint32_t index, std::size_t offset)
{
    if (index == 0 || index > entries_.size())
        fail("bad reference to index " + std::to_string(index) + " (only " +
                 std::to_string(entries_.size()) + " assigned)",
             offset);
    return entries_[index - 1];
}

ArchiveReader::Reference ArchiveReader::readReference()
{
    if (bindPending_)
        throw std::logic_error("ArchiveReader: a new object was not bound before the next read");
    Reference ref;
    ref.offset = pos_;
    const uint16_t tag = readUInt16();
    int newClass = -1;
    if (tag == kNullTag)
        return ref;
    if (tag == kNewClassTag) {
        newClass = readNewClass(ref.offset);
    } else {
        uint32_t index = 0;
        bool isClass = false;
        if (tag == kBigObjectTag) {
            const uint32_t big = readUInt32();
            isClass = (big & kBigClassTag) != 0;
            index = big & ~kBigClassTag;
            if (!isClass && index == 0)
                fail("bad reference to index 0 in the large form", ref.offset);
        } else {
            isClass = (tag & kClassTag) != 0;
            index = tag & ~static_cast<uint32_t>(kClassTag);
        }
        Entry& entry = entryAt(index, ref.offset);
        if (isClass) {
            if (!entry.isClass)
                fail("bad reference: index " + std::to_string(index) + " is an object, not a class",
                     ref.offset);
            newClass = entry.classId;
        } else {
            if (entry.isClass)
                fail("bad reference: index " + std::to_string(index) + " is a class, not an object",
                     ref.offset);
            ref.kind = Reference::Kind::Existing;
            ref.classId = entry.classId;
            ref.object = entry.object;
            return ref;
        }
    }
    if (entries_.size() >= kMaxIndex)
        fail("too many objects", ref.offset);
    entries_.push_back({false, newClass, nullptr});
    bindPending_ = true;
    ref.kind = Reference::Kind::New;
    ref.classId = newClass;
    return ref;
}

void ArchiveReader::bind(void* object)
{
    if (!bindPending_)
        throw std::logic_error("ArchiveReader: bind without a new object");
    entries_.back().object = object;
    bindPending_ = false;
}

ArchiveReader::RecordScope::RecordScope(ArchiveReader& reader, std::string_view recordName)
    : reader_(reader)
{
    if (reader.recordStack_.size() >= kMaxDepth)
        reader.fail("objects nested more than " + std::to_string(kMaxDepth) + " deep");
    reader.recordStack_.emplace_back(recordName);
}

ArchiveReader::RecordScope::~RecordScope() { reader_.recordStack_.pop_back(); }

} // namespace duolo
