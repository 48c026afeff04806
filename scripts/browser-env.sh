# Sourced by the scripts. The browser engine refuses to start as root with its
# sandbox on; only then is the sandbox turned off. Ordinary users keep it.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
