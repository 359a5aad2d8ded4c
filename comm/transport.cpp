#include "transport.h"

#ifdef KELMAR_HAVE_NETWORK
#include "networkport.h"
#endif

namespace kelmar {

std::unique_ptr<SerialPort> makeTransport(const PortTarget &target, QObject *parent)
{
    if (!target.isNetwork() || !target.problem.isEmpty())
        return nullptr;
#ifdef KELMAR_HAVE_NETWORK
    return std::make_unique<NetworkPort>(target, parent);
#else
    Q_UNUSED(parent);
    return nullptr;
#endif
}

} // namespace kelmar
