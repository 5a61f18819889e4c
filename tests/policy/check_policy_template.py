#!/usr/bin/env python3
"""The built administrative template against the product's definition: every policy's key,
value name, class and range, the languages Setting.ini lists, and every string and
presentation the template refers to present in each language file.
Usage: check_policy_template.py <built policy dir> <cmake/product.cmake> <config/Setting.ini>"""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
LOCALES = ["en-US", "de-DE", "fr-FR", "es-ES", "it-IT", "nl-NL"]
# Each policy and the product's name of the value it writes.
VALUES = {
    "DeviceList": "PRODUCT_POLICY_DEVICES_VALUE",
    "ServerAddress": "PRODUCT_POLICY_SERVER_VALUE",
    "BandwidthThreshold": "PRODUCT_POLICY_BITRATE_VALUE",
    "Language": "PRODUCT_LANG_VALUE",
    "StartWithWindows": "PRODUCT_STARTWIN_VALUE",
    "ConnectAutomatically": "PRODUCT_AUTOCONNECT_VALUE",
    "ReleaseAfter": "PRODUCT_RELEASE_AFTER_VALUE",
    "ReleaseOnLock": "PRODUCT_RELEASE_ON_LOCK_VALUE",
    "Notices": "PRODUCT_NOTICES_VALUE",
}
SWITCHES = ["StartWithWindows", "ConnectAutomatically", "ReleaseOnLock", "Notices"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def product_names(path):
    names = {}
    for m in re.finditer(r'^set\((\w+)\s+"?([^")]*)"?\)', open(path, encoding="utf-8").read(), re.M):
        # A name may be made of earlier ones ("${PRODUCT_FILE_STEM}").
        value = re.sub(r"\$\{(\w+)\}", lambda r: names.get(r.group(1), r.group(0)), m.group(2))
        names[m.group(1)] = value.replace("\\\\", "\\")
    return names


def main(policy_dir, product_cmake, setting_ini):
    names = product_names(product_cmake)
    stem = names["PRODUCT_POLICY_FILE"]
    admx_path = os.path.join(policy_dir, stem + ".admx")
    admx = ET.parse(admx_path).getroot()
    check(admx.find("p:policyNamespaces/p:target", NS).get("namespace") == names["PRODUCT_POLICY_NAMESPACE"],
          "namespace")

    policies = {p.get("name"): p for p in admx.findall("p:policies/p:policy", NS)}
    check(sorted(policies) == sorted(VALUES), "policies: %s" % sorted(policies))
    for name, policy in policies.items():
        check(policy.get("key") == names["PRODUCT_POLICY_KEY"], "%s: key %s" % (name, policy.get("key")))
        check(policy.get("class") == "Both", "%s: class %s" % (name, policy.get("class")))
        value_names = [policy.get("valueName")] if policy.get("valueName") else []
        value_names += [e.get("valueName") for e in policy.findall("p:elements/*", NS)]
        check(value_names == [names[VALUES[name]]], "%s: value names %s" % (name, value_names))
    for name in SWITCHES:
        check(policies[name].find("p:enabledValue/p:decimal", NS).get("value") == "1", name + ": enabled 1")
        check(policies[name].find("p:disabledValue/p:decimal", NS).get("value") == "0", name + ": disabled 0")

    def element(name):
        return policies[name].find("p:elements/*", NS)
    check(element("DeviceList").get("maxLength") == names["PRODUCT_POLICY_TEXT_MAX"], "device list length")
    check(int(element("ServerAddress").get("maxLength")) == int(names["PRODUCT_SERVER_ADDRESS_SIZE"]) - 1,
          "server address length")
    for name, maximum in (("BandwidthThreshold", "PRODUCT_POLICY_BITRATE_MAX"),
                          ("ReleaseAfter", "PRODUCT_RELEASE_AFTER_MAX")):
        check((element(name).get("minValue"), element(name).get("maxValue")) == ("0", names[maximum]),
              name + ": range")
    codes = re.findall(r"^lang\d+=(\S+)", open(setting_ini, encoding="latin-1").read(), re.M)
    offered = [s.text for s in element("Language").findall("p:item/p:value/p:string", NS)]
    check(offered == codes, "languages %s, Setting.ini %s" % (offered, codes))

    text = open(admx_path, encoding="utf-8").read()
    check("@" not in text, "unsubstituted name in the template")
    strings = set(re.findall(r"\$\(string\.(\w+)\)", text))
    presentations = {p.get("name"): p.get("presentation")[len("$(presentation."):-1]
                     for p in policies.values() if p.get("presentation")}
    for locale in LOCALES:
        adml_path = os.path.join(policy_dir, locale, stem + ".adml")
        adml_text = open(adml_path, encoding="utf-8").read()
        check("@" not in adml_text, locale + ": unsubstituted name")
        adml = ET.parse(adml_path).getroot()
        defined = {s.get("id") for s in adml.findall("p:resources/p:stringTable/p:string", NS)}
        check(strings <= defined, "%s: strings missing %s" % (locale, sorted(strings - defined)))
        shown = {p.get("id"): p for p in adml.findall("p:resources/p:presentationTable/p:presentation", NS)}
        for name, presentation in presentations.items():
            ids = [e.get("id") for e in policies[name].findall("p:elements/*", NS)]
            refs = [c.get("refId") for c in shown[presentation]] if presentation in shown else None
            check(refs == ids, "%s: presentation %s shows %s, policy has %s" % (locale, presentation, refs, ids))
    check(sorted(glob.glob(os.path.join(policy_dir, "*", stem + ".adml"))) ==
          sorted(os.path.join(policy_dir, l, stem + ".adml") for l in LOCALES), "language files")

    for f in failures:
        print("FAIL: " + f)
    print("%d policies, %d languages checked" % (len(policies), len(LOCALES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
