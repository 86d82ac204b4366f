#include "FakeUSBTestbed.h"

#include "device/IPodProbe.h"
#include "device/USBHostDevice.h"

#include <gtest/gtest.h>

#include <QDir>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

using namespace IPodProbe;

namespace {

// A script of page answers for the SysInfoExtended gatherer; records what was asked.
struct PageScript {
    std::vector<std::optional<QByteArray>> pages;
    std::vector<int> asked;
    PageRequest request() {
        return [this](quint16 index) -> std::optional<QByteArray> {
            asked.push_back(index);
            if (index >= pages.size())
                return QByteArray();
            return pages[index];
        };
    }
};

QByteArray vpdAnswer(quint8 page, const QByteArray& payload, int declaredLength = -1) {
    QByteArray answer(4, '\0');
    answer[1] = char(page);
    const int length = declaredLength < 0 ? int(payload.size()) : declaredLength;
    answer[2] = char(length >> 8);
    answer[3] = char(length & 0xFF);
    return answer + payload;
}

} // namespace

TEST(IPodProbePages, GathersSysInfoExtendedUntilAShortPage) {
    PageScript exact;
    exact.pages = {QByteArray(4096, 'a'), QByteArray()};
    EXPECT_EQ(gatherSysInfoExtendedPages(exact.request()), QByteArray(4096, 'a'));
    EXPECT_EQ(exact.asked, (std::vector<int>{0, 1}));

    PageScript three;
    three.pages = {QByteArray(4096, 'a'), QByteArray(4096, 'b'), QByteArray(10, 'c')};
    const auto plist = gatherSysInfoExtendedPages(three.request());
    ASSERT_TRUE(plist);
    EXPECT_EQ(plist->size(), 4096 * 2 + 10);
    EXPECT_TRUE(plist->endsWith("cccccccccc"));
    EXPECT_EQ(three.asked.size(), 3u);

    PageScript empty;
    empty.pages = {QByteArray()};
    EXPECT_EQ(gatherSysInfoExtendedPages(empty.request()), QByteArray());
}

TEST(IPodProbePages, DiscardsEverythingOnAFailedOversizedOrEndlessRead) {
    PageScript failing;
    failing.pages = {QByteArray(4096, 'a'), QByteArray(4096, 'b'), QByteArray(4096, 'c'),
                     std::nullopt};
    EXPECT_FALSE(gatherSysInfoExtendedPages(failing.request()));
    EXPECT_EQ(failing.asked.size(), 4u);

    PageScript oversized;
    oversized.pages = {QByteArray(4097, 'a')};
    EXPECT_FALSE(gatherSysInfoExtendedPages(oversized.request()));

    // 31 full pages and a short one fit; a 32nd full page does not, and nothing more is asked.
    PageScript longest;
    longest.pages.assign(31, QByteArray(4096, 'x'));
    longest.pages.push_back(QByteArray(4095, 'y'));
    const auto fits = gatherSysInfoExtendedPages(longest.request());
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 32 * 4096 - 1);

    PageScript endless;
    endless.pages.assign(40, QByteArray(4096, 'x'));
    EXPECT_FALSE(gatherSysInfoExtendedPages(endless.request()));
    EXPECT_EQ(endless.asked.size(), 32u);
}

TEST(IPodProbePages, AcceptsOnlyInquiryAnswersForThePageAskedWithinWhatArrived) {
    const QByteArray good = vpdAnswer(0x80, QByteArray("ABC"));
    const auto* bytes = reinterpret_cast<const quint8*>(good.constData());
    EXPECT_EQ(vpdPageLength(0x80, bytes, int(good.size())), 3);
    EXPECT_EQ(vpdPageLength(0xC0, bytes, int(good.size())), 0); // another page
    EXPECT_EQ(vpdPageLength(0x80, bytes, 3), 0);                // shorter than a header

    const QByteArray overlong = vpdAnswer(0x80, QByteArray("ABC"), 4);
    EXPECT_EQ(vpdPageLength(0x80, reinterpret_cast<const quint8*>(overlong.constData()),
                            int(overlong.size())),
              0);
    const QByteArray full = vpdAnswer(0xC2, QByteArray(248, 'p'));
    EXPECT_EQ(vpdPageLength(0xC2, reinterpret_cast<const quint8*>(full.constData()), 252), 248);
    QByteArray tooMany = vpdAnswer(0xC2, QByteArray(249, 'p'));
    EXPECT_EQ(vpdPageLength(0xC2, reinterpret_cast<const quint8*>(tooMany.constData()), 253), 0);
}

TEST(IPodProbePages, ConcatenatesTheListedSysInfoExtendedPages) {
    std::vector<int> asked;
    std::map<int, std::optional<QByteArray>> pages = {
        {0xC0, QByteArray("\xC2\xC3\x00\xC4", 4)},
        {0xC2, QByteArray("<plist>")},
        {0xC3, QByteArray("</plist>")},
        {0xC4, QByteArray("never")},
    };
    const auto request = [&](quint8 page) -> std::optional<QByteArray> {
        asked.push_back(page);
        return pages.count(page) ? pages[page] : std::nullopt;
    };
    EXPECT_EQ(gatherVPDPages(request, true), QByteArray("<plist></plist>"));
    EXPECT_EQ(asked, (std::vector<int>{0xC0, 0xC2, 0xC3})); // a code 0 ends the list

    pages[0xC0] = QByteArray("\xC2\xC3\xC4", 3);
    pages[0xC3] = std::nullopt; // a page that cannot be read voids the whole list
    EXPECT_FALSE(gatherVPDPages(request, true));
    pages[0xC0] = std::nullopt;
    EXPECT_FALSE(gatherVPDPages(request, true));

    asked.clear();
    pages[0x80] = QByteArray("SERIAL");
    EXPECT_EQ(gatherVPDPages(request, false), QByteArray("SERIAL"));
    EXPECT_EQ(asked, (std::vector<int>{0x80}));
}

TEST(IPodProbePages, TrimsTheSerialPage) {
    EXPECT_EQ(serialNumberFromVPD(QByteArray("000A27001234ABCD  \0\0 \0", 23)),
              QStringLiteral("000A27001234ABCD"));
    EXPECT_EQ(serialNumberFromVPD(QByteArray(" X Y ")), QStringLiteral(" X Y"));
    EXPECT_FALSE(serialNumberFromVPD(QByteArray("  \0 \0", 5)));
    EXPECT_FALSE(serialNumberFromVPD(QByteArray()));
    EXPECT_FALSE(serialNumberFromVPD(QByteArray("caf\xC3\xA9")));
}

TEST(IPodProbe, AnswersNothingWhereThereIsNoUSBBus) {
    if (QDir(QStringLiteral("/sys/bus/usb/devices")).exists())
        GTEST_SKIP() << "this machine has a USB bus";
    EXPECT_TRUE(USBHostDevice::all().empty());
    EXPECT_FALSE(USBHostDevice::withRegistryEntryID(1));
}

// Against the fake iPod: the real ioctls, answered by a script.
namespace {

struct FakeShuffle {
    FakeUSBTestbed bed;
    QString usb;
    std::optional<USBHostDevice> device;
    std::vector<FakeControlRequest> requests;
    std::mutex mutex;

    explicit FakeShuffle(int productID = 0x1303) {
        FakeUSBTestbed::USBDeviceSpec spec;
        spec.productID = productID;
        usb = bed.addUSBDevice(spec);
    }
    void answer(std::function<FakeReply(const FakeControlRequest&)> script) {
        bed.answerControlRequests(FakeUSBTestbed::usbNode(1, 2),
                                  [this, script](const FakeControlRequest& r) {
                                      std::lock_guard lock(mutex);
                                      requests.push_back(r);
                                      return script(r);
                                  });
        const auto all = USBHostDevice::all();
        if (all.size() == 1)
            device = all[0];
    }
    size_t requestCount() {
        std::lock_guard lock(mutex);
        return requests.size();
    }
};

} // namespace

TEST(IPodProbeFakeUSB, ReadsTheBatteryWordWithTwoVendorRequests) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeShuffle shuffle;
    shuffle.answer([](const FakeControlRequest& r) {
        return replyWith(r.value == 0 ? QByteArray("\x01\x00", 2) : QByteArray("\x85\x64", 2));
    });
    ASSERT_TRUE(shuffle.device);
    EXPECT_EQ(readUSBVendorValue(*shuffle.device), 0x6485);
    ASSERT_EQ(shuffle.requestCount(), 2u);
    const FakeControlRequest first = shuffle.requests[0];
    EXPECT_EQ(first.requestType, 0xC0);
    EXPECT_EQ(first.request, 0x40);
    EXPECT_EQ(first.value, 0);
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(first.length, 2);
    EXPECT_EQ(shuffle.requests[1].value, 1);
}

TEST(IPodProbeFakeUSB, GivesUpOnAZeroFirstAnswerAShortReplyOrAStall) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeShuffle shuffle;
    std::atomic<int> mode{0};
    shuffle.answer([&](const FakeControlRequest& r) {
        switch (mode.load()) {
        case 0: // the device answers 0 to the first request
            return replyWith(QByteArray("\x00\x00", 2));
        case 1: // one byte only
            return replyWith(r.value == 0 ? QByteArray("\x01\x00", 2) : QByteArray("\x85", 1));
        case 2:
            return replyFailing(EPIPE);
        default:
            return replyFailing(ETIMEDOUT);
        }
    });
    ASSERT_TRUE(shuffle.device);
    EXPECT_FALSE(readUSBVendorValue(*shuffle.device));
    EXPECT_EQ(shuffle.requestCount(), 1u); // wValue 1 is never sent
    for (int m : {1, 2, 3}) {
        mode = m;
        EXPECT_FALSE(readUSBVendorValue(*shuffle.device)) << "mode " << m;
    }
}

TEST(IPodProbeFakeUSB, ReadsSysInfoExtendedInPagesAndRejectsOversizedAnswers) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeShuffle shuffle(0x1265);
    const QByteArray plist = QByteArray(4096, 'a') + QByteArray(100, 'b');
    std::atomic<bool> oversized{false};
    shuffle.answer([&](const FakeControlRequest& r) {
        if (r.value != 2)
            return replyFailing(EPIPE);
        FakeReply reply = replyWith(plist.mid(r.index * 4096, r.length));
        if (oversized && r.index == 1)
            reply.reportedCount = 4097;
        return reply;
    });
    ASSERT_TRUE(shuffle.device);
    EXPECT_EQ(copySysInfoExtendedOverUSB(*shuffle.device), plist);
    ASSERT_EQ(shuffle.requestCount(), 2u);
    EXPECT_EQ(shuffle.requests[1].index, 1);
    EXPECT_EQ(shuffle.requests[1].length, 4096);
    oversized = true;
    EXPECT_FALSE(copySysInfoExtendedOverUSB(*shuffle.device));
}

TEST(IPodProbeFakeUSB, ReadsTheSerialAndSysInfoExtendedPagesOverSCSI) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1301;
    const QString usb = bed.addUSBDevice(spec);
    bed.addSCSIGeneric(usb, QStringLiteral("sg0"), QStringLiteral("21:0"));
    std::atomic<int> mode{0};
    std::mutex mutex;
    std::vector<FakeInquiry> asked;
    bed.answerInquiries(QStringLiteral("/dev/sg0"), [&](const FakeInquiry& q) {
        {
            std::lock_guard lock(mutex);
            asked.push_back(q);
        }
        const quint8 page = q.cdb[2];
        switch (mode.load()) {
        case 1: // names another page
            return FakeSCSIReply{vpdAnswer(0x83, QByteArray("X")), 0, 0};
        case 2: // claims more than it sent
            return FakeSCSIReply{vpdAnswer(page, QByteArray("ABC"), 40), 0, 0};
        case 3:
            return FakeSCSIReply{vpdAnswer(page, QByteArray("ABC")), 0x02, 0}; // CHECK CONDITION
        case 4:
            return FakeSCSIReply{{}, 0, EIO};
        case 5:
            return FakeSCSIReply{vpdAnswer(page, QByteArray("   \0\0", 5)), 0, 0};
        default:
            break;
        }
        if (page == 0x80)
            return FakeSCSIReply{vpdAnswer(page, QByteArray("8A1234567\0\0  ", 13)), 0, 0};
        if (page == 0xC0)
            return FakeSCSIReply{vpdAnswer(page, QByteArray("\xC2\xC3", 2)), 0, 0};
        return FakeSCSIReply{vpdAnswer(page, page == 0xC2 ? QByteArray("<a>") : QByteArray("</a>")),
                             0, 0};
    });
    const auto all = USBHostDevice::all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(copySCSISerialNumber(all[0]), QStringLiteral("8A1234567"));
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(asked.size(), 1u);
        const quint8 expected[6] = {0x12, 0x01, 0x80, 0x00, 0xFC, 0x00};
        EXPECT_EQ(std::memcmp(asked[0].cdb, expected, 6), 0);
        EXPECT_EQ(asked[0].allocationLength, 252u);
    }
    EXPECT_EQ(copySysInfoExtendedOverSCSI(all[0]), QByteArray("<a></a>"));
    for (int m : {1, 2, 3, 4}) {
        mode = m;
        EXPECT_FALSE(copySCSISerialNumber(all[0])) << "mode " << m;
        EXPECT_FALSE(copySysInfoExtendedOverSCSI(all[0])) << "mode " << m;
    }
    mode = 5;
    EXPECT_FALSE(copySCSISerialNumber(all[0]));
}
