// The embedded authority certificate has the form packages are verified
// against, and the test root that copies its name copies it byte for byte.

#include "trust/package_trust.h"
#include "trust/real_crypto.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace korin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One DER element: its tag, its value, and all its bytes.
struct Element {
    std::uint8_t tag = 0;
    Bytes value;
    Bytes whole;
};

// Reads the definite-length DER elements of bytes one after another; the
// bytes must outlive the reader.
class DerReader {
  public:
    explicit DerReader(const Bytes& bytes) : bytes_(bytes) {}
    bool atEnd() const { return next_ == bytes_.size(); }

    bool read(Element& element) {
        std::size_t p = next_;
        if (bytes_.size() - p < 2) {
            return false;
        }
        element.tag = bytes_[p++];
        std::size_t length = bytes_[p++];
        if (length > 0x80) {
            const std::size_t count = length & 0x7F;
            if (count > 3 || bytes_.size() - p < count) {
                return false;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = (length << 8) | bytes_[p++];
            }
        } else if (length == 0x80) {
            return false;
        }
        if (bytes_.size() - p < length) {
            return false;
        }
        element.value.assign(bytes_.begin() + p, bytes_.begin() + p + length);
        element.whole.assign(bytes_.begin() + next_, bytes_.begin() + p + length);
        next_ = p + length;
        return true;
    }

    // The next element, which must have tag; an empty one if not.
    Element expect(std::uint8_t tag) {
        Element element;
        EXPECT_TRUE(read(element)) << "element " << int(tag) << " missing";
        EXPECT_EQ(element.tag, tag);
        return element;
    }

  private:
    const Bytes& bytes_;
    std::size_t next_ = 0;
};

Bytes oidOf(const Element& sequence) {
    DerReader reader(sequence.value);
    return reader.expect(0x06).value;
}

const Bytes kSha256WithRsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B};
const Bytes kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const Bytes kBasicConstraints = {0x55, 0x1D, 0x13};

// The parts of a certificate the tests look at.
struct Certificate {
    Element version, serial, signatureAlgorithm, issuer, validity, subject, publicKeyInfo;
    std::vector<Element> extensions;
    Element outerAlgorithm;
};

Certificate parse(const Bytes& der) {
    Certificate parsed;
    DerReader top(der);
    const Element certificate = top.expect(0x30);
    EXPECT_TRUE(top.atEnd()) << "bytes after the certificate";
    DerReader parts(certificate.value);
    const Element tbs = parts.expect(0x30);
    parsed.outerAlgorithm = parts.expect(0x30);
    DerReader fields(tbs.value);
    parsed.version = fields.expect(0xA0);
    parsed.serial = fields.expect(0x02);
    parsed.signatureAlgorithm = fields.expect(0x30);
    parsed.issuer = fields.expect(0x30);
    parsed.validity = fields.expect(0x30);
    parsed.subject = fields.expect(0x30);
    parsed.publicKeyInfo = fields.expect(0x30);
    const Element extensions = fields.expect(0xA3);
    EXPECT_TRUE(fields.atEnd()) << "fields after the extensions";
    DerReader wrapper(extensions.value);
    const Element list = wrapper.expect(0x30);
    DerReader items(list.value);
    while (!items.atEnd()) {
        parsed.extensions.push_back(items.expect(0x30));
    }
    return parsed;
}

// The attribute types of a name, one per relative distinguished name.
std::vector<Bytes> attributeTypes(const Element& name) {
    std::vector<Bytes> types;
    DerReader names(name.value);
    while (!names.atEnd()) {
        const Element set = names.expect(0x31);
        DerReader attributes(set.value);
        types.push_back(oidOf(attributes.expect(0x30)));
        EXPECT_TRUE(attributes.atEnd()) << "a name part with several attributes";
    }
    return types;
}

TEST(AuthorityCertificate, HasTheFormPackagesAreVerifiedAgainst) {
    ASSERT_EQ(kAuthorityCertificateSize, 999u);
    const Bytes der(kAuthorityCertificate, kAuthorityCertificate + kAuthorityCertificateSize);
    const Certificate c = parse(der);
    EXPECT_EQ(c.version.value, (Bytes{0x02, 0x01, 0x02}));  // X.509 version 3
    EXPECT_EQ(c.serial.value, Bytes{0x00});
    EXPECT_EQ(oidOf(c.signatureAlgorithm), kSha256WithRsa);
    EXPECT_EQ(oidOf(c.outerAlgorithm), kSha256WithRsa);
    EXPECT_EQ(c.issuer.whole, c.subject.whole);  // self-signed

    const std::vector<Bytes> sixAttributes = {
        {0x55, 0x04, 0x03},                                      // common name
        {0x55, 0x04, 0x08},                                      // state or province
        {0x55, 0x04, 0x06},                                      // country
        {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01},  // e-mail address
        {0x55, 0x04, 0x0A},                                      // organisation
        {0x55, 0x04, 0x0B},                                      // organisational unit
    };
    EXPECT_EQ(attributeTypes(c.subject), sixAttributes);

    DerReader keyInfo(c.publicKeyInfo.value);
    EXPECT_EQ(oidOf(keyInfo.expect(0x30)), kRsaEncryption);
    const Element bits = keyInfo.expect(0x03);
    ASSERT_FALSE(bits.value.empty());
    const Bytes key(bits.value.begin() + 1, bits.value.end());
    DerReader rsaKey(key);
    const Element numbersElement = rsaKey.expect(0x30);
    DerReader numbers(numbersElement.value);
    Bytes modulus = numbers.expect(0x02).value;
    if (!modulus.empty() && modulus.front() == 0) {
        modulus.erase(modulus.begin());
    }
    ASSERT_EQ(modulus.size(), 256u);
    EXPECT_GE(modulus.front(), 0x80);  // 2048 bits, not fewer

    ASSERT_EQ(c.extensions.size(), 1u);
    EXPECT_EQ(oidOf(c.extensions[0]), kBasicConstraints);
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(AuthorityCertificate, OtherRootOfTheSameNameCopiesTheNameExactly) {
    const Bytes twin = readFile(testing::trustVectorsFolder() / "other-root-same-name.der");
    ASSERT_FALSE(twin.empty()) << "the build makes the vectors";
    const Bytes authority(kAuthorityCertificate, kAuthorityCertificate + kAuthorityCertificateSize);
    const Certificate other = parse(twin);
    const Certificate own = parse(authority);
    EXPECT_EQ(other.subject.whole, own.subject.whole);
    EXPECT_EQ(other.issuer.whole, own.subject.whole);
}

}  // namespace
}  // namespace korin
