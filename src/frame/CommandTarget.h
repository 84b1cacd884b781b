// A window object that takes part in command routing.
//
// Commands travel from the active view to its document, the child frame, the main frame and the
// application object; the first target on that route that handles a command decides its state
// and carries it out. A command nobody on the route handles is shown disabled. Targets are asked
// for the state of every visible command whenever the active window or its selection changes, so
// UpdateCommand must be cheap and must not change anything. User-interface thread only.
#pragma once

namespace Norik {

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // True when this target handles id; then state holds whether it is enabled and checked.
    virtual bool UpdateCommand(int id, CommandState& state) = 0;
    // Carries out id; true when this target handled it.
    virtual bool ExecuteCommand(int id) = 0;
};

}  // namespace Norik
