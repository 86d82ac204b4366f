#pragma once

// What an import needs of a mounted iPod, taken from the device layer.

#include "device/IPodDevice.h"
#include "transfer/AudioImport.h"

// The identity check throws ImportError::disconnected; the nano's SysInfoExtended is read over
// USB only from a fifth-generation nano.
IPodTransfer::ImportTarget importTarget(const IPodDevice& device);
