#include "device/IPodStore.h"
