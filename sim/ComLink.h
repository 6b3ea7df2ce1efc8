#pragma once
// Puts a simulated controller where the program looks for COM ports on
// Linux: a link COMn in the port map folder KarvoConfigDir() + "/ports",
// pointing at the pseudo-terminal.

#include <string>

#include "sim/SimController.h"

namespace karvo::sim {

// The port map folder.
std::string PortMapDir();

// Links `device` as `comName` in the port map folder, creating the folder
// when missing, and marks the link as this process's with its owner file
// (serial/PortMap.h): the link counts as a port only while this process
// lives. A link there that points at a pseudo-terminal and whose owner has
// ended (left behind by a killed run) is replaced, and so is one of this
// process's own. The call throws std::runtime_error, leaving everything as
// it was, when the name is served by another live simulator, when anything
// else of that name is there (it belongs to the user), and when the link
// cannot be made.
void LinkComPort(const std::string& comName, const std::string& device);
// Removes the link and its owner file when the link still points at
// `device`; true when it did.
bool UnlinkComPort(const std::string& comName, const std::string& device);

// LinkComPort for the lifetime of the object.
class ScopedComLink {
 public:
  ScopedComLink(std::string comName, std::string device);
  ~ScopedComLink();
  ScopedComLink(const ScopedComLink&) = delete;
  ScopedComLink& operator=(const ScopedComLink&) = delete;

 private:
  std::string comName_, device_;
};

// Points an environment variable at a fresh temporary folder for the
// lifetime of the object (tests), then restores it and removes the folder.
// Set it up before threads that read the environment start.
class ScopedTempHome {
 public:
  explicit ScopedTempHome(std::string variable);
  ~ScopedTempHome();
  ScopedTempHome(const ScopedTempHome&) = delete;
  ScopedTempHome& operator=(const ScopedTempHome&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string variable_;
  std::string path_;
  bool hadPrevious_ = false;
  std::string previous_;
};

// XDG_CONFIG_HOME (the store and the port map) in a temporary folder.
class ScopedConfigHome : public ScopedTempHome {
 public:
  ScopedConfigHome() : ScopedTempHome("XDG_CONFIG_HOME") {}
};

// XDG_STATE_HOME (the program log's files, error reports) in a temporary
// folder.
class ScopedStateHome : public ScopedTempHome {
 public:
  ScopedStateHome() : ScopedTempHome("XDG_STATE_HOME") {}
};

// A running simulated controller reachable as `comName` (tests):
//   karvo::sim::SimOnComPort sim({.Address = 7});
//   port.SetPort(sim.ComName());  // "COM9"
//   sim->SetRegister(...);
class SimOnComPort {
 public:
  explicit SimOnComPort(SimOptions options = {}, std::string comName = "COM9");
  ~SimOnComPort();
  SimController& Sim() { return sim_; }
  SimController* operator->() { return &sim_; }
  const std::string& ComName() const { return comName_; }

 private:
  ScopedConfigHome home_;
  std::string comName_;
  SimController sim_;
  std::unique_ptr<ScopedComLink> link_;
};

}  // namespace karvo::sim
