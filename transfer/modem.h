#pragma once
// Driving a modem on the port: dialling with an AT command and hanging up with a DTR pulse.

#include <string>
#include <string_view>

class CMainFrame;

// Asks for the number (offering the last one), then sends the dial string with it in one
// write. Nothing happens when the prompt is cancelled.
void DialPhone(CMainFrame& frame);

// Pulses DTR and leaves DTREnable as it was.
void HangUp(CMainFrame& frame);

// `format` with its "%s" replaced by `argument` taken literally ("%%" is a per cent sign).
std::string FormatWithArgument(std::string_view format, std::string_view argument);
