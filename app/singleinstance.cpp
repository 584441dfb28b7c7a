#include "app/singleinstance.h"

#include <QSharedMemory>

bool createInstanceMarker(QSharedMemory &marker)
{
    if (marker.create(1, QSharedMemory::ReadWrite))
        return true;
    if (marker.error() != QSharedMemory::AlreadyExists)
        return false;
    if (marker.attach())
        marker.detach();
    return marker.create(1, QSharedMemory::ReadWrite);
}
