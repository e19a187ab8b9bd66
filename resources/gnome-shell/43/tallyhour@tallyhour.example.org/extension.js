// Tallyhour's window reports for GNOME Shell 43 and 44.
//
// While enabled, an object on the session bus (under the Shell's own name) tells which window
// is in front, lists the windows with their process, class and title, sends a signal for each
// change, and closes one window on request as its title bar's button does. Nothing else is
// read or changed; disable() takes it all away again.
/* exported init */
const { Gio, GLib } = imports.gi;

const ObjectPath = '/org/gnome/Shell/Extensions/Tallyhour';
const InterfaceXml = `<node>
  <interface name="org.tallyhour.Shell">
    <method name="State">
      <arg type="t" name="focused" direction="out"/>
      <arg type="a(tuss)" name="windows" direction="out"/>
    </method>
    <method name="Close">
      <arg type="t" name="id" direction="in"/>
      <arg type="b" name="sent" direction="out"/>
    </method>
    <signal name="FocusChanged"><arg type="t" name="focused"/></signal>
    <signal name="WindowChanged"><arg type="(tuss)" name="window"/></signal>
    <signal name="WindowRemoved"><arg type="t" name="id"/></signal>
  </interface>
</node>`;

// Menus, tooltips and the like are no windows of a program.
function isReported(window) {
    return !window.is_override_redirect();
}

function describe(window) {
    const pid = window.get_pid();
    return [window.get_id(), pid > 0 ? pid : 0, window.get_wm_class() || '', window.get_title() || ''];
}

class WindowReports {
    enable() {
        this._windows = new Map(); // MetaWindow -> its signal handler ids
        this._displaySignals = [
            global.display.connect('window-created', (display, window) => this._watch(window, true)),
            global.display.connect('notify::focus-window', () => this._focusSend()),
        ];
        for (const window of global.display.list_all_windows())
            this._watch(window, false);
        this._exported = Gio.DBusExportedObject.wrapJSObject(InterfaceXml, this);
        this._exported.export(Gio.DBus.session, ObjectPath);
    }

    disable() {
        this._exported.unexport();
        this._exported = null;
        for (const id of this._displaySignals)
            global.display.disconnect(id);
        this._displaySignals = [];
        for (const [window, ids] of this._windows) {
            for (const id of ids)
                window.disconnect(id);
        }
        this._windows = null;
    }

    _watch(window, announce) {
        if (!isReported(window) || this._windows.has(window))
            return;
        const changed = () => this._emit('WindowChanged', '((tuss))', [describe(window)]);
        this._windows.set(window, [
            window.connect('notify::title', changed),
            window.connect('notify::wm-class', changed),
            window.connect('unmanaged', () => this._forget(window)),
        ]);
        if (announce)
            changed();
    }

    _forget(window) {
        const ids = this._windows.get(window);
        if (!ids)
            return;
        for (const id of ids)
            window.disconnect(id);
        this._windows.delete(window);
        this._emit('WindowRemoved', '(t)', [window.get_id()]);
    }

    _focused() {
        const window = global.display.focus_window;
        return window && this._windows.has(window) ? window.get_id() : 0;
    }

    _focusSend() {
        this._emit('FocusChanged', '(t)', [this._focused()]);
    }

    _emit(name, type, values) {
        if (this._exported)
            this._exported.emit_signal(name, new GLib.Variant(type, values));
    }

    State() {
        return [this._focused(), [...this._windows.keys()].map(describe)];
    }

    Close(id) {
        for (const window of this._windows.keys()) {
            if (window.get_id() === id) {
                window.delete(global.get_current_time());
                return true;
            }
        }
        return false;
    }
}

function init() {
    return new WindowReports();
}
