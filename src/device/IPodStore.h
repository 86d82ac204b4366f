#pragma once

#include <QObject>

// The application's one observable store of devices, selection and library.
class IPodStore : public QObject {
    Q_OBJECT

public:
    IPodStore() = default;
};
