#pragma once

// The persistent-object archive: the byte format that project files (and the motion graph
// records) use. Little-endian primitives, length-prefixed strings, object lists with a count,
// and tagged object references, so that an object held by several lists is stored once and
// referred to by index afterwards.
//
// Indices: one counter per archive, starting at 1 and shared by classes and objects. A class
// takes the next index when it is introduced by name; a new object takes the next index after
// its class tag and before its record, so references from inside its own record resolve.
//
// Reference tags (first uint16):
//   0x0000            null
//   0x0001..0x7FFE    an object that received this index earlier
//   0x7FFF            large form: a uint32 follows, either an object index or
//                     0x80000000 + class index (a new object of that class follows)
//   0x8001..0xFFFE    0x8000 + class index: a new object of a class seen before
//   0xFFFF            a new class: uint16 schema (0), uint16 name length, the ASCII name;
//                     then a new object of that class

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace duolo {

class ArchiveWriter {
public:
    void writeByte(uint8_t value) { out_.push_back(value); }
    void writeBool(bool value) { out_.push_back(value ? 1 : 0); }
    void writeUInt16(uint16_t value);
    void writeUInt32(uint32_t value);
    void writeInt32(int32_t value) { writeUInt32(static_cast<uint32_t>(value)); }
    void writeDouble(double value);
    // Always the 8-bit form: the bytes of `text` as they are.
    void writeString(std::string_view text);
    // The element count that starts an object list.
    void writeCount(std::size_t count);
    void writeNull() { writeUInt16(0); }

    // Writes a reference to `object` (null writes the null tag). An object written before is
    // written as its index and the call returns false. A new one gets its class tag (the class
    // is introduced by name at its first use) and the next index, and the call returns true:
    // the caller writes the object's record next.
    bool writeObject(const void* object, std::string_view className);
    // Writes the class tag of a new object that nothing will ever refer to (a trajectory's own
    // sample, say) and gives it the next index without remembering it. Its record follows.
    void writeNewObject(std::string_view className);

    void reserve(std::size_t bytes) { out_.reserve(bytes); }
    const std::vector<uint8_t>& bytes() const { return out_; }
    std::vector<uint8_t> takeBytes() { return std::move(out_); }

private:
    void writeIndexTag(uint32_t index, bool isClass);
    void writeClassTag(std::string_view className);
    uint32_t takeIndex();
    template <class T>
    void append(T value);

    std::vector<uint8_t> out_;
    std::unordered_map<const void*, uint32_t> objectIndex_;
    std::vector<std::pair<std::string, uint32_t>> classIndex_;  // few classes: searched in turn
    uint32_t nextIndex_ = 1;
};

// A malformed archive. The message says what is wrong and at which byte; the caller adds the
// file's name.
class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads an archive held in memory. Every read checks the bytes that are left, and every failure
// throws ArchiveError; nothing is allocated from a length or count that the remaining bytes
// cannot hold.
//
// Reading an object reference, typically:
//   auto ref = reader.readReference();
//   Null: no object. Existing: ref.object (check ref.classId). New: create the object of class
//   ref.classId, reader.bind(object) at once (its index is taken), then read its record inside a
//   RecordScope named after the class.
class ArchiveReader {
public:
    // `classNames` are the persistent classes that the reader knows; class ids are positions in
    // this list. Any other class name in the data is refused.
    ArchiveReader(const uint8_t* data, std::size_t size, std::vector<std::string> classNames);

    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return size_ - pos_; }

    uint8_t readByte();
    bool readBool() { return readByte() != 0; }
    uint16_t readUInt16();
    uint32_t readUInt32();
    int32_t readInt32() { return static_cast<int32_t>(readUInt32()); }
    double readDouble();
    // Reads the 8-bit form as it is, and the wide (UTF-16LE) form converted to UTF-8.
    std::string readString();
    // The count of an object list whose elements take at least `minElementBytes` bytes each;
    // a count that the rest of the data cannot hold is refused.
    uint32_t readCount(std::size_t minElementBytes);

    struct Reference {
        enum class Kind { Null, Existing, New };
        Kind kind = Kind::Null;
        int classId = -1;         // the object's class (Existing and New)
        void* object = nullptr;   // Existing only
        std::size_t offset = 0;   // where the tag starts, for messages
    };
    // Reads one reference. For a New object the next index is reserved for it; the caller must
    // create the object and bind() it before reading anything else.
    Reference readReference();
    void bind(void* object);

    const std::string& className(int classId) const { return classNames_[static_cast<std::size_t>(classId)]; }

    // Marks the start and end of a record, for depth limiting and for messages ("file ends
    // inside a Marker record"). Records nest at most `kMaxDepth` deep.
    class RecordScope {
    public:
        RecordScope(ArchiveReader& reader, std::string_view recordName);
        ~RecordScope();
        RecordScope(const RecordScope&) = delete;
        RecordScope& operator=(const RecordScope&) = delete;

    private:
        ArchiveReader& reader_;
    };
    // Far deeper than real data nests (a chain of groups that each share a member with the next
    // is the deepest case), yet shallow enough for any thread's stack.
    static constexpr std::size_t kMaxDepth = 2000;

    // Throws ArchiveError with `problem` and the byte offset.
    [[noreturn]] void fail(const std::string& problem, std::size_t offset) const;
    [[noreturn]] void fail(const std::string& problem) const { fail(problem, pos_); }

private:
    struct Entry {
        bool isClass = false;
        int classId = -1;
        void* object = nullptr;
    };

    void need(std::size_t bytes);
    template <class T>
    T take();
    std::string whereNow() const;
    [[noreturn]] void failNoRoom(const std::string& what, std::size_t offset) const;
    uint32_t readLength(bool& wide);
    int readNewClass(std::size_t offset);
    Entry& entryAt(uint32_t index, std::size_t offset);

    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::vector<std::string> classNames_;
    std::vector<Entry> entries_;                // entries_[i] holds index i + 1
    bool bindPending_ = false;
    std::vector<std::string> recordStack_;
};

} // namespace duolo
