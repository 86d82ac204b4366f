#include "device/SysInfoExtendedReader.h"

#include <gtest/gtest.h>

using namespace SysInfoExtendedReader;

namespace {

QByteArray plist(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\"><dict>" +
           body + "</dict></plist>\n";
}

} // namespace

TEST(SysInfoExtendedReader, ReadsTopLevelTextValuesOnly) {
    const QByteArray data = plist("<key>FireWireGUID</key><string>000A27001</string>"
                                  "<key>Nested</key><dict><key>SerialNumber</key>"
                                  "<string>inner</string></dict>"
                                  "<key>SerialNumber</key><string>8K1234YMX</string>");
    EXPECT_EQ(serialNumber(data), QStringLiteral("8K1234YMX"));
    EXPECT_FALSE(serialNumber(plist("<key>SerialNumber</key><integer>12</integer>")));
    EXPECT_FALSE(serialNumber(plist("<key>Other</key><string>x</string>")));
    EXPECT_FALSE(serialNumber("<plist><array><string>SerialNumber</string></array></plist>"));
    EXPECT_FALSE(serialNumber("<plist><dict><key>SerialNumber</key><string>8K12"));
    EXPECT_FALSE(serialNumber(QByteArray("\0\1\2", 3)));
    EXPECT_FALSE(serialNumber({}));
}

TEST(SysInfoExtendedReader, NormalisesTheVisibleBuildID) {
    EXPECT_EQ(firmwareVersion(plist("<key>VisibleBuildID</key><string> 1.0.2 </string>")),
              QStringLiteral("1.0.2"));
    EXPECT_EQ(normalizedVersion(QStringLiteral("0x02218000 (2.0.4)")), QStringLiteral("2.0.4"));
    EXPECT_FALSE(normalizedVersion(QStringLiteral("(1.3)"))); // one piece only
    EXPECT_EQ(normalizedVersion(QStringLiteral("1.2.3.4")), QStringLiteral("1.2.3.4"));
    EXPECT_FALSE(normalizedVersion(QStringLiteral("1.2.3.4.5")));
    EXPECT_FALSE(normalizedVersion(QStringLiteral("0x02218000")));
    EXPECT_FALSE(normalizedVersion(QStringLiteral("1")));
    EXPECT_FALSE(normalizedVersion(QStringLiteral("a (1.2) (3.4)")));
    EXPECT_FALSE(firmwareVersion(plist("<key>BuildID</key><string>1.2</string>")));
}
