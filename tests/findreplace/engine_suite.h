#pragma once
// The search and replace engines' scenarios, written once against the host
// interface. A host takes part by providing an EngineWorld and calling
// runEngineSuite; cases that need failure injection are skipped on hosts that
// cannot inject failures.

#include "host.h"

#include <QString>

#include <functional>
#include <memory>

namespace korvex::enginetest {

class EngineWorld {
public:
    virtual ~EngineWorld() = default;
    // A running host holding exactly the fixture's books (fixture text, see
    // hosts/sim/README.md), reached through the returned connector.
    virtual std::shared_ptr<host::Connector> start(const QString& fixtureText) = 0;
    virtual void shutdown() = 0;
    // Runs `hook` before every host operation, named as the simulated host
    // names them ("Range.replace", ...); a HostError thrown there fails that
    // operation. False when the host cannot do this.
    virtual bool hookOperations(std::function<void(const QString& operation)> hook) {
        (void)hook;
        return false;
    }
    // Makes the host say whether Korvex's windows paint during its calls.
    // False when the host's answer is fixed.
    virtual bool setPaintsDuringCalls(bool paints) {
        (void)paints;
        return false;
    }
};

int runEngineSuite(EngineWorld& world, int argc, char** argv);

} // namespace korvex::enginetest
