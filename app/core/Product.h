// Names and addresses the whole application shows.
#pragma once

namespace orvex {

// The product's name: the main window's title and its messages.
inline constexpr char kProductName[] = "Orvex";
// The program's own name: the title of its plain message boxes.
inline constexpr char kProgramName[] = "OrvexLite";
inline constexpr char kProductWebSite[] = "https://orvex.example.com/";

}  // namespace orvex
