#include "FakeUSBTestbed.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <future>
#include <linux/usbdevice_fs.h>
#include <list>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <thread>

namespace {

struct Handler {
    FakeUSBTestbed::ControlHandler control;
    FakeUSBTestbed::InquiryHandler inquiry;
};

// Completes the client's ioctl; the resolved blocks are written back to the client then.
gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer userData) {
    auto* handler = static_cast<Handler*>(userData);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;
    if (request == USBDEVFS_CONTROL && handler->control) {
        UMockdevIoctlData* block =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), &error);
        if (!block) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        auto* transfer = reinterpret_cast<usbdevfs_ctrltransfer*>(block->data);
        FakeControlRequest asked{transfer->bRequestType, transfer->bRequest, transfer->wValue,
                                 transfer->wIndex, transfer->wLength};
        const FakeReply reply = handler->control(asked);
        if (reply.errorNumber != 0) {
            umockdev_ioctl_client_complete(client, -1, reply.errorNumber);
            g_object_unref(block);
            return TRUE;
        }
        UMockdevIoctlData* data = nullptr;
        const auto copied = std::min<qsizetype>(reply.data.size(), asked.length);
        if (asked.length > 0) {
            data = umockdev_ioctl_data_resolve(block, offsetof(usbdevfs_ctrltransfer, data),
                                               asked.length, &error);
            g_clear_error(&error);
            if (data && copied > 0)
                std::memcpy(data->data, reply.data.constData(), static_cast<size_t>(copied));
        }
        umockdev_ioctl_client_complete(client, reply.reportedCount.value_or(int(copied)), 0);
        if (data)
            g_object_unref(data);
        g_object_unref(block);
        return TRUE;
    }
    if (request == SG_IO && handler->inquiry) {
        UMockdevIoctlData* block = umockdev_ioctl_data_resolve(arg, 0, sizeof(sg_io_hdr_t), &error);
        if (!block) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        auto* header = reinterpret_cast<sg_io_hdr_t*>(block->data);
        UMockdevIoctlData* cdb = umockdev_ioctl_data_resolve(block, offsetof(sg_io_hdr_t, cmdp),
                                                             header->cmd_len, &error);
        g_clear_error(&error);
        FakeInquiry asked;
        if (cdb)
            std::memcpy(asked.cdb, cdb->data, std::min<size_t>(6, header->cmd_len));
        asked.allocationLength = header->dxfer_len;
        const FakeSCSIReply reply = handler->inquiry(asked);
        UMockdevIoctlData* data = nullptr;
        if (reply.errorNumber != 0) {
            umockdev_ioctl_client_complete(client, -1, reply.errorNumber);
        } else {
            const auto length = header->dxfer_len;
            const auto copied = std::min<size_t>(size_t(reply.data.size()), length);
            data =
                umockdev_ioctl_data_resolve(block, offsetof(sg_io_hdr_t, dxferp), length, &error);
            g_clear_error(&error);
            if (data && copied > 0)
                std::memcpy(data->data, reply.data.constData(), copied);
            // The header lives in the resolved block; its fields go back on completion.
            header = reinterpret_cast<sg_io_hdr_t*>(block->data);
            header->status = static_cast<unsigned char>(reply.status);
            header->masked_status = static_cast<unsigned char>(reply.status >> 1);
            header->host_status = 0;
            header->driver_status = 0;
            header->resid = int(length) - int(copied);
            header->sb_len_wr = 0;
            umockdev_ioctl_client_complete(client, 0, 0);
        }
        if (data)
            g_object_unref(data);
        if (cdb)
            g_object_unref(cdb);
        g_object_unref(block);
        return TRUE;
    }
    return FALSE;
}

} // namespace

struct FakeUSBTestbed::Impl {
    UMockdevTestbed* testbed = nullptr;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    std::thread thread;
    std::list<Handler> handlers;
    std::list<UMockdevIoctlBase*> bases;

    // Runs fn on the loop thread, where the ioctl handlers are served, and waits for it.
    void onLoop(std::function<void()> fn) {
        struct Call {
            std::function<void()> fn;
            std::promise<void> done;
        } call{std::move(fn), {}};
        auto future = call.done.get_future();
        g_main_context_invoke(
            context,
            [](gpointer data) -> gboolean {
                auto* c = static_cast<Call*>(data);
                c->fn();
                c->done.set_value();
                return G_SOURCE_REMOVE;
            },
            &call);
        future.wait();
    }

    // The node the preload library redirects /dev paths to.
    void createNode(const QString& devname) {
        gchar* root = umockdev_testbed_get_root_dir(testbed);
        const QString path = QString::fromLocal8Bit(root) + devname;
        g_free(root);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            ADD_FAILURE() << "cannot create " << qPrintable(path);
    }

    void attach(const QString& node, Handler handler) {
        handlers.push_back(std::move(handler));
        Handler* stored = &handlers.back();
        onLoop([&] {
            UMockdevIoctlBase* base = umockdev_ioctl_base_new();
            g_signal_connect(base, "handle-ioctl", G_CALLBACK(handleIoctl), stored);
            GError* error = nullptr;
            const QByteArray path = node.toLocal8Bit();
            if (!umockdev_testbed_attach_ioctl(testbed, path.constData(), base, &error)) {
                ADD_FAILURE() << "cannot attach to " << path.constData() << ": "
                              << (error ? error->message : "?");
                g_clear_error(&error);
            }
            bases.push_back(base);
        });
    }
};

FakeUSBTestbed::FakeUSBTestbed()
    : impl(std::make_unique<Impl>()) {
    impl->testbed = umockdev_testbed_new();
    impl->context = g_main_context_new();
    impl->loop = g_main_loop_new(impl->context, FALSE);
    std::promise<void> started;
    auto running = started.get_future();
    impl->thread = std::thread([this, &started] {
        g_main_context_push_thread_default(impl->context);
        g_main_context_invoke(
            impl->context,
            [](gpointer data) -> gboolean {
                static_cast<std::promise<void>*>(data)->set_value();
                return G_SOURCE_REMOVE;
            },
            &started);
        g_main_loop_run(impl->loop);
        g_main_context_pop_thread_default(impl->context);
    });
    running.wait();
}

FakeUSBTestbed::~FakeUSBTestbed() {
    impl->onLoop([this] {
        for (UMockdevIoctlBase* base : impl->bases)
            g_object_unref(base);
        impl->bases.clear();
        g_object_unref(impl->testbed);
        impl->testbed = nullptr;
    });
    g_main_loop_quit(impl->loop);
    impl->thread.join();
    g_main_loop_unref(impl->loop);
    g_main_context_unref(impl->context);
}

QString FakeUSBTestbed::usbNode(int busNumber, int deviceNumber) {
    return QStringLiteral("/dev/bus/usb/%1/%2")
        .arg(busNumber, 3, 10, QLatin1Char('0'))
        .arg(deviceNumber, 3, 10, QLatin1Char('0'));
}

QString FakeUSBTestbed::addUSBDevice(const USBDeviceSpec& spec) {
    const QByteArray name = spec.name.toLocal8Bit();
    const QByteArray parent = spec.parent.toLocal8Bit();
    const QByteArray vendor =
        QStringLiteral("%1").arg(spec.vendorID, 4, 16, QLatin1Char('0')).toLatin1();
    const QByteArray product =
        QStringLiteral("%1").arg(spec.productID, 4, 16, QLatin1Char('0')).toLatin1();
    const QByteArray bus = QByteArray::number(spec.busNumber);
    const QByteArray address = QByteArray::number(spec.deviceNumber);
    const QByteArray ports = spec.portPath.toLatin1();
    const QByteArray serial = spec.serial.toLatin1();
    const QByteArray node = usbNode(spec.busNumber, spec.deviceNumber).mid(5).toLatin1();
    const QByteArray devname = "/dev/" + node;
    const QByteArray busPadded =
        QStringLiteral("%1").arg(spec.busNumber, 3, 10, QLatin1Char('0')).toLatin1();
    const QByteArray addressPadded =
        QStringLiteral("%1").arg(spec.deviceNumber, 3, 10, QLatin1Char('0')).toLatin1();
    std::vector<const gchar*> attributes = {
        "idVendor", vendor.constData(), "idProduct", product.constData(),
        "busnum",   bus.constData(),    "devnum",    address.constData(),
        "devpath",  ports.constData()};
    if (!spec.serial.isEmpty()) {
        attributes.push_back("serial");
        attributes.push_back(serial.constData());
    }
    attributes.push_back(nullptr);
    std::vector<const gchar*> properties = {
        "DEVTYPE", "usb_device",          "DEVNAME", devname.constData(),
        "BUSNUM",  busPadded.constData(), "DEVNUM",  addressPadded.constData(),
        nullptr};
    gchar* path = umockdev_testbed_add_devicev(impl->testbed, "usb", name.constData(),
                                               spec.parent.isEmpty() ? nullptr : parent.constData(),
                                               const_cast<gchar**>(attributes.data()),
                                               const_cast<gchar**>(properties.data()));
    impl->createNode(QString::fromLatin1(devname));
    const QString result = QString::fromLocal8Bit(path);
    g_free(path);
    return result;
}

QString FakeUSBTestbed::addBlockDevice(const QString& parent, const QString& name,
                                       const QString& number) {
    const QByteArray n = name.toLocal8Bit();
    const QByteArray p = parent.toLocal8Bit();
    const QByteArray dev = number.toLatin1();
    const QByteArray devname = "/dev/" + n;
    const QList<QByteArray> parts = dev.split(':');
    gchar* path = umockdev_testbed_add_device(
        impl->testbed, "block", n.constData(), p.constData(), "dev", dev.constData(), nullptr,
        "DEVTYPE", "disk", "DEVNAME", devname.constData(), "MAJOR", parts.value(0).constData(),
        "MINOR", parts.value(1).constData(), nullptr);
    impl->createNode(QString::fromLatin1(devname));
    // umockdev files every device number under /sys/dev/char; a disk belongs under block.
    gchar* sys = umockdev_testbed_get_sys_dir(impl->testbed);
    const QString sysDir = QString::fromLocal8Bit(sys);
    g_free(sys);
    const QString charLink = sysDir + QStringLiteral("/dev/char/") + number;
    const QString target = QFile::symLinkTarget(charLink);
    QDir().mkpath(sysDir + QStringLiteral("/dev/block"));
    if (!target.isEmpty() && QFile::remove(charLink))
        QFile::link(QDir(sysDir + QStringLiteral("/dev/block")).relativeFilePath(target),
                    sysDir + QStringLiteral("/dev/block/") + number);
    else
        ADD_FAILURE() << "no device link for " << qPrintable(number);
    const QString result = QString::fromLocal8Bit(path);
    g_free(path);
    return result;
}

QString FakeUSBTestbed::addSCSIGeneric(const QString& parent, const QString& name,
                                       const QString& number) {
    const QByteArray n = name.toLocal8Bit();
    const QByteArray p = parent.toLocal8Bit();
    const QByteArray dev = number.toLatin1();
    const QByteArray devname = "/dev/" + n;
    gchar* path = umockdev_testbed_add_device(impl->testbed, "scsi_generic", n.constData(),
                                              p.constData(), "dev", dev.constData(), nullptr,
                                              "DEVNAME", devname.constData(), nullptr);
    impl->createNode(QString::fromLatin1(devname));
    const QString result = QString::fromLocal8Bit(path);
    g_free(path);
    return result;
}

void FakeUSBTestbed::removeDevice(const QString& syspath) {
    umockdev_testbed_remove_device(impl->testbed, syspath.toLocal8Bit().constData());
}

void FakeUSBTestbed::answerControlRequests(const QString& node, ControlHandler handler) {
    impl->attach(node, Handler{std::move(handler), {}});
}

void FakeUSBTestbed::answerInquiries(const QString& node, InquiryHandler handler) {
    impl->attach(node, Handler{{}, std::move(handler)});
}

namespace {

constexpr char childMarker[] = "LORVANEL_FAKE_USB_CHILD";

// Runs the current test again in a child under umockdev-wrapper and reports its outcome.
void runInChild() {
    const QString wrapper = QStandardPaths::findExecutable(QStringLiteral("umockdev-wrapper"));
    if (wrapper.isEmpty()) {
        GTEST_SKIP() << "umockdev-wrapper is not installed";
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter =
        QStringLiteral("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // umockdev's preload library comes before the sanitizer runtime.
    QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    if (!asan.isEmpty())
        asan += u':';
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral("verify_asan_link_order=0"));
    env.insert(QString::fromLatin1(childMarker), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(wrapper, {QCoreApplication::applicationFilePath(), filter});
    if (!child.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start umockdev-wrapper";
        return;
    }
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished(5000);
    }
    const QByteArray output = child.readAll();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        ADD_FAILURE() << "the test failed under umockdev:\n" << output.constData();
    } else if (output.contains("[  SKIPPED ]")) {
        GTEST_SKIP() << "skipped under umockdev:\n" << output.constData();
    } else if (!output.contains("[  PASSED  ] 1 test")) {
        ADD_FAILURE() << "the test did not run under umockdev:\n" << output.constData();
    }
}

} // namespace

bool runsInFakeUSBEnvironment() {
    if (qEnvironmentVariableIsSet(childMarker)) {
        // Never start a further child from a child.
        if (!qEnvironmentVariable("LD_PRELOAD").contains(QStringLiteral("umockdev-preload"))) {
            ADD_FAILURE() << "umockdev's preload library is not active";
            return false;
        }
        return true;
    }
    runInChild();
    return false;
}
