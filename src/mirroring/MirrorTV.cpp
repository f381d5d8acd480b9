#include "mirroring/MirrorTV.h"

#include "protocol/RemoteMsg.h"
#include "tv/TVController.h"

namespace telvanto::mirroring {

void ControllerTV::wakeUp()
{
    controller_.send(protocol::RemoteMsg::key(protocol::TVKey::wakeUp));
}

void ControllerTV::launch(const QString& package)
{
    controller_.launch(package);
}

} // namespace telvanto::mirroring
