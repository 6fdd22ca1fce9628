#include "capture/Archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace duolo {
namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

ArchiveReader readerFor(const std::vector<uint8_t>& data, std::vector<std::string> classes = {"A", "B"})
{
    return ArchiveReader(data.data(), data.size(), std::move(classes));
}

std::string failureOf(const std::vector<uint8_t>& data, void (*read)(ArchiveReader&))
{
    auto in = readerFor(data);
    try {
        read(in);
    } catch (const ArchiveError& e) {
        return e.what();
    }
    return {};
}

TEST(Archive, PrimitivesAreLittleEndian)
{
    ArchiveWriter w;
    w.writeBool(true);
    w.writeInt32(-2);
    w.writeUInt16(0x1234);
    w.writeDouble(1.0);
    EXPECT_EQ(w.bytes(), bytesOf({1, 0xFE, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));

    auto in = readerFor(w.bytes());
    EXPECT_TRUE(in.readBool());
    EXPECT_EQ(in.readInt32(), -2);
    EXPECT_EQ(in.readUInt16(), 0x1234);
    EXPECT_EQ(in.readDouble(), 1.0);
    EXPECT_EQ(in.remaining(), 0u);
}

TEST(Archive, AnyNonZeroByteReadsAsTrue)
{
    auto data = bytesOf({0, 2, 0xFF});
    auto in = readerFor(data);
    EXPECT_FALSE(in.readBool());
    EXPECT_TRUE(in.readBool());
    EXPECT_TRUE(in.readBool());
}

TEST(Archive, StringLengthsUseTheShortestForm)
{
    for (std::size_t n : {0u, 254u, 255u, 0xFFFDu, 0xFFFEu, 0x10005u}) {
        ArchiveWriter w;
        const std::string text(n, 'x');
        w.writeString(text);
        const auto& b = w.bytes();
        if (n < 255) {
            ASSERT_EQ(b.size(), 1 + n);
            EXPECT_EQ(b[0], n);
        } else if (n < 0xFFFE) {
            ASSERT_EQ(b.size(), 3 + n);
            EXPECT_EQ(b[0], 0xFF);
            EXPECT_EQ(b[1] | (b[2] << 8), static_cast<int>(n));
        } else {
            ASSERT_EQ(b.size(), 7 + n);
            EXPECT_EQ(b[1], 0xFF);
            EXPECT_EQ(b[2], 0xFF);
        }
        auto in = readerFor(b);
        EXPECT_EQ(in.readString(), text) << n;
        EXPECT_EQ(in.remaining(), 0u);
    }
}

TEST(Archive, WideStringsAreReadAsUtf8)
{
    // 0xFF, 0xFFFE, length 3, then "Aé" and a surrogate pair (U+1F600) in UTF-16LE.
    auto data = bytesOf({0xFF, 0xFE, 0xFF, 4, 'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE});
    auto in = readerFor(data);
    EXPECT_EQ(in.readString(), "A\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(in.remaining(), 0u);

    // A long wide string: the length continues in the 0xFF / uint16 scheme.
    std::vector<uint8_t> longer = bytesOf({0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01});
    for (int i = 0; i < 300; ++i) {
        longer.push_back('z');
        longer.push_back(0);
    }
    auto in2 = readerFor(longer);
    EXPECT_EQ(in2.readString(), std::string(300, 'z'));
}

TEST(Archive, StringLongerThanTheDataIsRefused)
{
    const auto message = failureOf(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}),
                                   [](ArchiveReader& in) { in.readString(); });
    EXPECT_NE(message.find("a string of 2147483647 characters does not fit in the 1 bytes left"), std::string::npos)
        << message;
}

TEST(Archive, ObjectsAndClassesShareOneIndexCounter)
{
    int a1 = 0, a2 = 0, b1 = 0;
    ArchiveWriter w;
    EXPECT_TRUE(w.writeObject(&a1, "A"));   // class A = 1, object = 2
    EXPECT_TRUE(w.writeObject(&a2, "A"));   // 0x8001, object = 3
    EXPECT_FALSE(w.writeObject(&a1, "A"));  // reference 2
    EXPECT_TRUE(w.writeObject(&b1, "B"));   // class B = 4, object = 5
    EXPECT_FALSE(w.writeObject(&b1, "B"));  // reference 5
    EXPECT_FALSE(w.writeObject(nullptr, "A"));
    EXPECT_EQ(w.bytes(), bytesOf({0xFF, 0xFF, 0, 0, 1, 0, 'A', 0x01, 0x80, 2, 0, 0xFF, 0xFF, 0, 0, 1, 0, 'B',
                                  5, 0, 0, 0}));

    auto in = readerFor(w.bytes());
    using Kind = ArchiveReader::Reference::Kind;
    auto r = in.readReference();
    EXPECT_EQ(r.kind, Kind::New);
    EXPECT_EQ(r.classId, 0);
    in.bind(&a1);
    r = in.readReference();
    EXPECT_EQ(r.kind, Kind::New);
    in.bind(&a2);
    r = in.readReference();
    EXPECT_EQ(r.kind, Kind::Existing);
    EXPECT_EQ(r.object, &a1);
    r = in.readReference();
    EXPECT_EQ(r.kind, Kind::New);
    EXPECT_EQ(r.classId, 1);
    in.bind(&b1);
    r = in.readReference();
    EXPECT_EQ(r.object, &b1);
    EXPECT_EQ(in.readReference().kind, Kind::Null);
}

TEST(Archive, LargeIndicesUseTheLongForm)
{
    // 40000 objects of class A push the counter past 0x7FFF; then a reference to a late object
    // and a new class introduced with a large index.
    std::vector<int> objects(40000);
    int late = 0;
    ArchiveWriter w;
    for (auto& o : objects)
        w.writeObject(&o, "A");
    w.writeObject(&objects[39999], "A");  // index 40001
    w.writeObject(&objects[0], "A");      // index 2
    w.writeObject(&late, "B");            // class B = 40002, object 40003
    int another = 0;
    w.writeObject(&another, "B");         // large class form

    const auto& b = w.bytes();
    // The object with index 0x7FFF is the first whose tag takes the long form.
    auto in = readerFor(b);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        ASSERT_EQ(in.readReference().kind, ArchiveReader::Reference::Kind::New);
        in.bind(&objects[i]);
    }
    const std::size_t refAt = in.position();
    auto r = in.readReference();
    EXPECT_EQ(r.object, &objects[39999]);
    EXPECT_EQ(in.position() - refAt, 6u);  // 0x7FFF + uint32
    EXPECT_EQ(b[refAt], 0xFF);
    EXPECT_EQ(b[refAt + 1], 0x7F);
    EXPECT_EQ(in.readReference().object, &objects[0]);
    EXPECT_EQ(in.readReference().classId, 1);
    in.bind(&late);
    const std::size_t classAt = in.position();
    r = in.readReference();
    EXPECT_EQ(r.kind, ArchiveReader::Reference::Kind::New);
    EXPECT_EQ(r.classId, 1);
    in.bind(&another);
    EXPECT_EQ(b[classAt + 5] & 0x80, 0x80);  // 0x80000000 + class index
    EXPECT_EQ(in.remaining(), 0u);
}

TEST(Archive, ListCountsUseTheLongFormFrom0xFFFF)
{
    ArchiveWriter w;
    w.writeCount(0xFFFE);
    w.writeCount(0xFFFF);
    EXPECT_EQ(w.bytes(), bytesOf({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
}

TEST(Archive, RefusesMalformedReferences)
{
    auto expectFailure = [](std::vector<uint8_t> data, const std::string& fragment) {
        const auto message = failureOf(data, [](ArchiveReader& in) {
            for (;;) {
                auto r = in.readReference();
                if (r.kind == ArchiveReader::Reference::Kind::New)
                    in.bind(&in);
            }
        });
        EXPECT_NE(message.find(fragment), std::string::npos) << "got: " << message;
    };
    expectFailure(bytesOf({5, 0}), "bad reference to index 5");
    expectFailure(bytesOf({0x01, 0x80}), "bad reference to index 1");
    // Index 1 is a class: using it as an object, or object 2 as a class, is refused.
    expectFailure(bytesOf({0xFF, 0xFF, 0, 0, 1, 0, 'A', 1, 0}), "is a class");
    expectFailure(bytesOf({0xFF, 0xFF, 0, 0, 1, 0, 'A', 0x02, 0x80}), "is an object");
    expectFailure(bytesOf({0xFF, 0xFF, 0, 0, 1, 0, 'C'}), "unknown class \"C\"");
    expectFailure(bytesOf({0xFF, 0xFF, 1, 0, 1, 0, 'A'}), "schema 1");
    std::vector<uint8_t> longName = bytesOf({0xFF, 0xFF, 0, 0, 64, 0});
    longName.resize(longName.size() + 64, 'A');
    expectFailure(longName, "class name of 64 characters");
    expectFailure(bytesOf({0xFF, 0x7F, 9, 0, 0, 0}), "bad reference to index 9");
    expectFailure(bytesOf({0xFF, 0xFF, 0, 0, 1}), "truncated");
}

TEST(Archive, CountsBeyondTheDataAreRefusedBeforeAnythingIsReserved)
{
    auto message = failureOf(bytesOf({0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 1, 2, 3}),
                             [](ArchiveReader& in) { in.readCount(2); });
    EXPECT_EQ(message, "truncated or corrupt: a list of 4294967280 elements does not fit in the 3 bytes left, "
                       "inside the file at byte 0");
    message = failureOf(bytesOf({3, 0, 0, 0, 0, 0}), [](ArchiveReader& in) { in.readCount(2); });
    EXPECT_NE(message.find("a list of 3 elements does not fit in the 4 bytes left"), std::string::npos) << message;
    auto enough = bytesOf({2, 0, 0, 0, 0, 0});
    auto in = readerFor(enough);
    EXPECT_EQ(in.readCount(2), 2u);
}

TEST(Archive, TruncationNamesTheRecordBeingRead)
{
    const auto message = failureOf(bytesOf({1, 2, 3}), [](ArchiveReader& in) {
        ArchiveReader::RecordScope scope(in, "Marker");
        in.readDouble();
    });
    EXPECT_EQ(message, "truncated: file ends inside a Marker record at byte 3");
}

TEST(Archive, NestingIsLimited)
{
    std::vector<uint8_t> none;
    auto in = readerFor(none);
    std::vector<std::unique_ptr<ArchiveReader::RecordScope>> scopes;
    for (std::size_t i = 0; i < ArchiveReader::kMaxDepth; ++i)
        scopes.push_back(std::make_unique<ArchiveReader::RecordScope>(in, "Group"));
    EXPECT_THROW(ArchiveReader::RecordScope(in, "Group"), ArchiveError);
}

} // namespace
} // namespace duolo
