#include "physics/material_calc.h"

#include <xraylib.h>

#include <cmath>
#include <vector>

#include "base/text_io.h"
#include "physics/neutron_table.h"

namespace tolvi {

namespace {

// Parentheses nest at most this deep: deeper is surely a typing error.
constexpr int MAX_NESTING = 8;

// One element of a formula with its total count.
struct FormulaTerm {
    const ElementData* element = nullptr;
    double count = 0.0;
};

const ElementData* findElement(std::string_view symbol) {
    for (int i = 0; i < ELEMENT_TABLE_SIZE; ++i)
        if (symbol == ELEMENT_TABLE[i].symbol) return &ELEMENT_TABLE[i];
    return nullptr;
}

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Recursive descent over
//   sequence := item+        item := (symbol | "(" sequence ")") count?
//   symbol := [A-Z][a-z]?    count := digits ["." digits] | "." digits
// Each group's terms are multiplied by its count when its ")" and count have been read.
class FormulaParser {
  public:
    FormulaParser(std::string_view text, std::vector<FormulaTerm>& terms)
        : text_(text), terms_(terms) {}

    // Empty message on success.
    std::string parse() {
        if (text_.empty()) return "is empty";
        if (text_.size() > static_cast<size_t>(MAX_FORMULA_LENGTH))
            return "is longer than " + std::to_string(MAX_FORMULA_LENGTH) + " characters";
        if (!sequence(0)) return error_;
        return {};
    }

  private:
    bool fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    std::string place() const { return std::to_string(pos_ + 1); }

    bool sequence(int depth) {
        size_t first = terms_.size();
        while (pos_ < text_.size()) {
            if (text_[pos_] == ')') {
                if (depth == 0)
                    return fail("has a \")\" without its \"(\" at character " + place());
                break;
            }
            if (!item(depth)) return false;
        }
        if (depth > 0 && pos_ >= text_.size()) return fail("has a \"(\" without its \")\"");
        // Only a group can be empty: the whole formula was checked not to be.
        if (terms_.size() == first) return fail("has an empty group at character " + place());
        return true;
    }

    bool item(int depth) {
        char c = text_[pos_];
        size_t first = terms_.size();
        if (c == '(') {
            if (depth + 1 > MAX_NESTING)
                return fail("nests parentheses deeper than " + std::to_string(MAX_NESTING));
            ++pos_;
            if (!sequence(depth + 1)) return false;
            ++pos_;  // the ")" that ended the group
        } else if (isUpper(c)) {
            size_t start = pos_++;
            if (pos_ < text_.size() && isLower(text_[pos_])) ++pos_;
            std::string_view symbol = text_.substr(start, pos_ - start);
            const ElementData* element = findElement(symbol);
            if (!element) return fail("has the unknown element \"" + std::string(symbol) + "\"");
            terms_.push_back({element, 1.0});
        } else if (isLower(c)) {
            return fail("has \"" + std::string(1, c) + "\" at character " + place() +
                        ": element symbols start with a capital letter");
        } else {
            return fail("has an unexpected \"" + std::string(1, c) + "\" at character " + place());
        }
        double n = 1.0;
        if (!count(n)) return false;
        for (size_t i = first; i < terms_.size(); ++i) terms_[i].count *= n;
        return true;
    }

    bool count(double& n) {
        size_t start = pos_;
        while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            size_t fraction = pos_;
            while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
            if (pos_ == fraction && fraction == start + 1)
                return fail("has a \".\" without digits at character " + std::to_string(start + 1));
        }
        if (pos_ == start) return true;
        std::string_view digits = text_.substr(start, pos_ - start);
        n = parseReal(digits);  // digits and one point only: always a number
        if (!(n > 0.0))
            return fail("has the count " + std::string(digits) + ", which is not above 0");
        return true;
    }

    std::string_view text_;
    std::vector<FormulaTerm>& terms_;
    size_t pos_ = 0;
    std::string error_;
};

// f' and f'' of element Z at `energy` keV. xraylib 4 reports a failure only through the error
// record of the call, and prints a warning when asked to set a record that is already set: so
// every call gets a fresh one, and the first failure ends the pair.
bool anomalousFactors(int Z, double energy, double& fi, double& fii, std::string& message) {
    xrl_error* error = nullptr;
    fi = Fi(Z, energy, &error);
    if (!error) fii = Fii(Z, energy, &error);
    if (!error) return true;
    message = error->message ? error->message : "xraylib failed";
    xrl_error_free(error);
    return false;
}

MaterialResult refuse(int code, std::string message) {
    return {{code, std::move(message), Outcome::Refused}, {}};
}

}  // namespace

MaterialResult calculateMaterial(std::string_view formula, double wavelength, double mag) {
    std::string quoted = formatText("\"%.*s\"", static_cast<int>(formula.size()), formula.data());
    if (!(wavelength > 0.0) || !std::isfinite(wavelength))
        return refuse(2, "--->Error wavelength not above 0: " + formatText("%g", wavelength));
    if (!std::isfinite(mag)) return refuse(2, "--->Error magnetic moment not finite");

    std::vector<FormulaTerm> terms;
    FormulaParser parser(formula, terms);
    std::string problem = parser.parse();
    if (!problem.empty()) return refuse(1, "--->Error formula " + quoted + " " + problem);

    double energy = HC_KEV_ANGSTROM / wavelength;
    // Neutron absorption follows 1/v, so the cross-section grows with the wavelength.
    double absorptionScale = wavelength / ABSORPTION_WAVELENGTH;
    MaterialValues v;
    v.wavelength = wavelength;
    v.mag = mag;
    for (const FormulaTerm& t : terms) {
        const ElementData& e = *t.element;
        if (!e.hasNeutronData)
            return refuse(3, std::string("--->Error no neutron data for ") + e.symbol);
        double fi = 0.0, fii = 0.0;
        std::string message;
        if (!anomalousFactors(e.Z, energy, fi, fii, message))
            return refuse(2, std::string("--->Error no X-ray data for ") + e.symbol + " at " +
                                 formatText("%g A (%g keV): ", wavelength, energy) + message);
        v.molarMass += t.count * e.molarMass;
        v.f1 += t.count * (e.Z + fi);
        // xraylib's Fii is negative for an absorbing atom; f2 is positive.
        v.f2 += t.count * -fii;
        v.bCoh += t.count * e.bCoh;
        v.absXs += t.count * e.absXs * absorptionScale;
    }
    for (double x : {v.molarMass, v.f1, v.f2, v.bCoh, v.absXs})
        if (!std::isfinite(x))
            return refuse(2, "--->Error values of " + quoted + " not finite at " +
                                 formatText("%g A", wavelength));
    return {Status::success("--->OK"), v};
}

std::string materialFileText(std::string_view formula, const MaterialValues& values) {
    std::string f(formula);
    const char* name = f.c_str();
    double lam = values.wavelength;
    std::string out;
    out += formatText("%.8g ; wavelength (A) of the values below\n", lam);
    out += formatText("%.8g ; molar mass (g/mol) of %s\n", values.molarMass, name);
    out += formatText("%.8g ; f1 (electrons) of %s at %g A\n", values.f1, name, lam);
    out += formatText("%.8g ; f2 (electrons) of %s at %g A\n", values.f2, name, lam);
    out += formatText("%.8g ; bCoh (fm) of %s\n", values.bCoh, name);
    out += formatText("%.8g ; absXs (barn) of %s at %g A\n", values.absXs, name, lam);
    out += formatText("%.8g ; magnetic moment (Bohr magnetons) of %s\n", values.mag, name);
    return out;
}

MaterialResult materialOfMedium(Medium medium, double wavelength) {
    if (!(wavelength > 0.0) || !std::isfinite(wavelength))
        return refuse(2, "--->Error wavelength not above 0: " + formatText("%g", wavelength));
    if (!(medium.beta >= 0.0)) return refuse(1, "--->Error beta must not be negative");
    // Density and molar mass 1: the optical constants then multiply these by λ² and constants
    // only, so that they give back δ and β to within a few roundings.
    double lam = wavelength;
    double xray = XRAY_FACTOR * lam * lam;
    double tau = lam * lam * 0.5 * INV_PI;
    MaterialValues v;
    v.wavelength = lam;
    v.molarMass = 1.0;
    v.f1 = medium.delta / xray;
    v.f2 = medium.beta / xray;
    v.bCoh = medium.delta / (tau * NEUTRON_FACTOR);
    v.absXs = medium.beta / (tau * NEUTRON_FACTOR * 0.5 / lam * 0.001);
    for (double x : {v.f1, v.f2, v.bCoh, v.absXs})
        if (!std::isfinite(x)) return refuse(2, "--->Error values not finite");
    return {Status::success("--->OK"), v};
}

std::string mediumFileText(const MaterialValues& values, std::string_view description) {
    std::string d(description);
    const char* what = d.c_str();
    std::string out;
    out += formatText("%.17g ; wavelength (A): this file gives %s at density 1 g/cm3\n",
                      values.wavelength, what);
    out += formatText("%.17g ; molar mass (g/mol), 1 so that the density scales the medium\n",
                      values.molarMass);
    out += formatText("%.17g ; f1 (electrons) for %s\n", values.f1, what);
    out += formatText("%.17g ; f2 (electrons) for %s\n", values.f2, what);
    out += formatText("%.17g ; bCoh (fm) for %s\n", values.bCoh, what);
    out += formatText("%.17g ; absXs (barn) for %s at %.17g A\n", values.absXs, what,
                      values.wavelength);
    out += formatText("%.17g ; magnetic moment (Bohr magnetons)\n", values.mag);
    return out;
}

}  // namespace tolvi
