#pragma once

// What an import needs of a mounted iPod, taken from the device layer.

#include "device/IPodDevice.h"
#include "transfer/AudioImport.h"

#include <QByteArray>

#include <optional>

// The identity check throws IPodDeviceError, the transfer's disconnection; the nano's
// SysInfoExtended is read over USB only from a fifth-generation nano.
IPodTransfer::ImportTarget importTarget(const IPodDevice& device);

// The SysInfoExtended of a fifth-generation nano read over USB; none for another product.
// Throws IPodDeviceError when the USB device cannot be reached.
std::optional<QByteArray> readNano5SysInfoExtended(const IPodDevice& device);
