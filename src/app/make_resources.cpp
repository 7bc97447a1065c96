// Writes, at build time, the files the package installs around the executable that are made from
// the program's own text and drawing, so they cannot drift from it:
//   wrenfold.1                      the manual page, from the `--help` text
//   completion/wrenfold, _wrenfold  bash and zsh completion, with the built-in template names
//   icons/hicolor/NxN/apps/wrenfold.png  the brand mark on its badge, legible on light and dark
//   icons/hicolor/symbolic/apps/wrenfold-symbolic.svg  the bare mark, for the desktop to tint
// Usage: wrenfold-make-resources OUTPUT_FOLDER BASH_TEMPLATE ZSH_TEMPLATE

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "core/templates/built_in_templates.h"
#include "ui/brand/brand_icon.h"

namespace {

namespace fs = std::filesystem;

bool writeFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) {
    std::cerr << "wrenfold-make-resources: cannot write " << path << '\n';
    return false;
  }
  return true;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// roff reads a backslash as an escape and a leading dot or quote as a request.
std::string roffLine(std::string_view line) {
  std::string out;
  if (!line.empty() && (line.front() == '.' || line.front() == '\'')) {
    out += "\\&";
  }
  for (char c : line) {
    out += c;
    if (c == '\\') {
      out += 'e';
    } else if (c == '-') {
      out.back() = '\\';
      out += '-';
    }
  }
  return out;
}

// A line of the help text that ends with a full-width colon and is not indented heads a
// section; indented lines keep their layout; the rest is running text.
std::string manPage(const std::string& usage, std::string_view version) {
  std::string page = ".TH WRENFOLD 1 \"\" \"Wrenfold " + std::string(version) + "\" \"User Commands\"\n";
  page += ".SH NAME\nwrenfold \\- system\\-wide writing assistant for the Linux desktop\n";
  page +=
      ".SH DESCRIPTION\nWrenfold reads the text field you are typing in through the accessibility bus, asks "
      "the "
      "model service set up in its settings window for a few candidates, and inserts the one you choose. "
      "Without a command it starts the tray application.\n";
  constexpr std::string_view kColon = "：";
  bool preformatted = false;
  std::istringstream lines(usage);
  for (std::string line; std::getline(lines, line);) {
    const bool indented = line.starts_with(' ');
    if (!indented && preformatted) {
      page += ".fi\n";
      preformatted = false;
    }
    if (line.empty()) {
      continue;
    }
    if (!indented && line.ends_with(kColon)) {
      page += ".SH \"" + roffLine(line.substr(0, line.size() - kColon.size())) + "\"\n";
    } else if (indented) {
      if (!preformatted) {
        page += ".nf\n";
        preformatted = true;
      }
      page += roffLine(line) + '\n';
    } else {
      page += ".PP\n" + roffLine(line) + '\n';
    }
  }
  if (preformatted) {
    page += ".fi\n";
  }
  return page;
}

std::string withTemplateNames(std::string script) {
  std::string names;
  for (const auto& promptTemplate : wrenfold::BuiltInTemplates::all()) {
    names += (names.empty() ? "" : " ") + promptTemplate.id;
  }
  constexpr std::string_view kMarker = "@TEMPLATE_IDS@";
  for (auto at = script.find(kMarker); at != std::string::npos; at = script.find(kMarker, at)) {
    script.replace(at, kMarker.size(), names);
  }
  return script;
}

bool writeIcons(const fs::path& folder) {
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      wrenfold::BrandIcon::paintBadge(painter, QRectF(0, 0, size, size));
    }
    const fs::path path =
        folder / (std::to_string(size) + "x" + std::to_string(size)) / "apps" / "wrenfold.png";
    fs::create_directories(path.parent_path());
    if (!image.save(QString::fromStdString(path.string()), "PNG")) {
      std::cerr << "wrenfold-make-resources: cannot write " << path << '\n';
      return false;
    }
  }
  return writeFile(folder / "symbolic" / "apps" / "wrenfold-symbolic.svg", wrenfold::brandIconSvg());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: wrenfold-make-resources OUTPUT_FOLDER BASH_TEMPLATE ZSH_TEMPLATE\n";
    return 2;
  }
  // Painting needs an application but no screen: the build may run without a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const fs::path out = argv[1];
  const bool written = writeFile(out / "wrenfold.1", manPage(wrenfold::app::usageText(), WRENFOLD_VERSION)) &&
                       writeFile(out / "completion" / "wrenfold", withTemplateNames(readFile(argv[2]))) &&
                       writeFile(out / "completion" / "_wrenfold", withTemplateNames(readFile(argv[3]))) &&
                       writeIcons(out / "icons" / "hicolor");
  return written ? 0 : 1;
}
