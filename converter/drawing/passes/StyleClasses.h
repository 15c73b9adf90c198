// Pass: styles that repeat become classes.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Gives the style attributes that repeat a class each, declared once in a <style> after the
// opening <svg> tag: cairo writes the same style on hundreds of paths (a TikZ page: 941 clipped
// paths, one stroke style among a few dozen). A style is left inline when its class would not
// save bytes, or when it holds characters a rule could not carry as they are.
std::string StyleClasses(std::string_view Svg);

}  // namespace Engine
