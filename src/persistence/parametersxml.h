#pragma once

#include <QString>

class SimulationParameters;
class QXmlStreamReader;
class QXmlStreamWriter;

// The "config" element of the state document: every persisted setting of a
// simulation's parameters as attributes, then the "forces" child. The
// parameters class keeps the values, their defaults and checks; this class
// alone knows their XML form.
class ParametersXml
{
public:
    // Writes the attributes and the "forces" child into the element the
    // caller started.
    static void write(QXmlStreamWriter &writer, const SimulationParameters &parameters);
    // Reads the "config" element the reader is on into the parameters
    // (stored values only, nothing reaches the cells) and leaves the reader
    // on its end. False with a message for a value that does not parse or
    // lies outside its range.
    static bool read(QXmlStreamReader &reader, SimulationParameters &parameters, QString *error = nullptr);
};
