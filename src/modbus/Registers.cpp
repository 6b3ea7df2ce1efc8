#include "modbus/Registers.h"

namespace karvo {

const std::vector<TControllerAddresses>& ControllerCatalogue() {
  // One model. Its numbers are kept as the model list has always carried
  // them (thermocouple type 12990; target, working setpoint and ramp rate
  // left at 0); nothing consults them, the operations use reg::.
  static const std::vector<TControllerAddresses> catalogue = [] {
    TControllerAddresses a;
    a.Model = "Eurotherm 2400 serie";
    a.Temperature = 1;
    a.SPSelected = 15;
    a.SP1 = 24;
    a.SP2 = 25;
    a.Proportional = 6;
    a.Integral = 8;
    a.Derivate = 9;
    a.WorkingOutput = 3;
    a.PContribute = 214;
    a.IContribute = 55;
    a.DContribute = 116;
    a.ThermocoupleType = 12990;
    a.ModelAddr = 122;
    return std::vector<TControllerAddresses>{a};
  }();
  return catalogue;
}

}  // namespace karvo
