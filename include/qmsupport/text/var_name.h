#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// Names of measured variables, built from a variable-kind code (0 to 198) and its qualifiers.
// Each function writes into `name` and returns it. The phase suffix is "1", "2" or "3" for
// phase 0, 1 or 2 and nothing for any other phase.

// Base text, value kind ("I", "MX", "MN"), then a tariff ("T1".."T9", `phase` carrying the
// tariff index), a 1-based channel for input/output codes, or the phase suffix (line-to-line
// voltage, code 1, adds the second phase: "12", "23", "31", "123"). Fixed names take no suffix.
QMSUPPORT_API QMWideString& JoinVarName(QMWideString& name, int code, int kind, int phase,
                                        bool tariff);
// "ARM", the harmonic order, the measure and the phase suffix.
QMSUPPORT_API QMWideString& JoinArmonicVarName(QMWideString& name, int code, int order, int phase);
// Base text, contract ("C1".."C3") and tariff ("TOT", "T1".."T9").
QMSUPPORT_API QMWideString& JoinContractVarName(QMWideString& name, int code, int contract,
                                                int tariff);
// Base text and the channel as one digit 0 to 8.
QMSUPPORT_API QMWideString& JoinChannelVarName(QMWideString& name, int code, int channel);
// Base text, phase suffix, "DI" for code 116, and the index when it is 1 or more.
QMSUPPORT_API QMWideString& JoinMultiFlickerVarName(QMWideString& name, int code, int index,
                                                    int phase);
// Supervision of the supply: fixed names, or base text, phase suffix and closing text.
QMSUPPORT_API QMWideString& JoinSTPVarName(QMWideString& name, int code, int phase);
// Parking guidance. An unknown code keeps the name's current content; indexed names and kept
// names get the index appended when it is 1 or more.
QMSUPPORT_API QMWideString& JoinParkingVarName(QMWideString& name, int code, int index);
// Alarms of reactive-power regulators. An unknown code keeps the name's current content; the
// part ("_VALUE", "_OUT", "_RELAY", "_DT") is appended.
QMSUPPORT_API QMWideString& JoinAlarmVarName(QMWideString& name, int code, int part);
