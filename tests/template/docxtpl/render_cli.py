"""Runs `lxdocx render` as a user would."""
import subprocess

TIMEOUT = 60


def render(lxdocx, template, data, out, strict=False, resources=None):
    """`lxdocx render TEMPLATE DATA OUT [--strict] [--resources DIR]`: the finished process (text output)."""
    argv = [lxdocx, "render", template, data, out]
    if strict:
        argv.append("--strict")
    if resources:
        argv += ["--resources", resources]
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
                          timeout=TIMEOUT)
