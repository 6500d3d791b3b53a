"""The window as a screen reader reads it, through the desktop's accessibility
bus (AT-SPI). Run by accessibility_test.sh, which makes the display, the
session bus and the databases, and names them in the environment:

  CONTARDC_A11Y_PROBE    the window program (accessible_window_probe)
  CONTARDC_A11Y_SERVER   the server list's one entry, "127.0.0.1/PORT:DEMO"
  CONTARDC_A11Y_DEMO     DEMO, the folder of the companies 01 and 02
  CONTARDC_FB_PASSWORD   the test server's SYSDBA password

What it checks, in one run of the window and a second one:
  - the tree of names and roles at start, the links between captions and
    boxes, the states that say what takes the keyboard;
  - typing through the accessible text interfaces, and the password box,
    which tells nothing of what is typed into it, by keys or through them;
  - a refused connection: the error box read whole (title and text);
  - the status panel's event while a connection step waits at the server,
    and again while the posting waits on a receipt another transaction holds;
  - the grid's header and cells while the posted rows stand in it, and the
    tree then;
  - the notice "No hay recibos por contabilizar." read whole, with the grid's
    blank row behind it.
"""

import os
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TITLE = "Contabilización ventas POS"
WINDOW = "Contabilizar recibos"
EXPLANATION = ("Este programa genera la contabilización de los recibos de caja sin contabilizar de la "
               "fecha indicada")
PROBE = os.environ["CONTARDC_A11Y_PROBE"]
SERVER = os.environ["CONTARDC_A11Y_SERVER"]
DEMO = os.environ["CONTARDC_A11Y_DEMO"]
PASSWORD = os.environ["CONTARDC_FB_PASSWORD"]
ADDRESS = SERVER.split(":", 1)[0]
COMPANY_01 = f"{ADDRESS}:{DEMO}/datos/01/ledgara.fdb"


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: {actual!r}, expected {expected!r}")


# Events, recorded as they come; nothing is asked of their source here, since
# the window does not answer while it waits on the database.
events = []


def record(event):
    events.append((event.type, event.source, event.any_data))


listener = Atspi.EventListener.new(record)
for kind in ("object:property-change:accessible-name", "object:state-changed:showing", "object:text-changed"):
    listener.register(kind)


def pump():
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def until(condition, what, timeout=30.0):
    """Polls condition (events delivered in between) until it gives a true
    value, which it returns; a failure naming what at the deadline. An error
    of the bus (a window busy past the call's time) counts as not yet."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        pump()
        try:
            value = condition()
            if value:
                return value
        except GLib.Error as error:
            last_error = error
        if time.monotonic() > deadline:
            raise Failure(f"{what} (waited {timeout:.0f} s{'; last error: ' + str(last_error) if last_error else ''})")
        time.sleep(0.05)


def key(*names):
    subprocess.run(["xdotool", "key", *names], check=True)


def has_state(accessible, state):
    return accessible.get_state_set().contains(state)


def children(accessible):
    # A child that went away since the count was taken (a box closing) is left out.
    found = (accessible.get_child_at_index(i) for i in range(accessible.get_child_count()))
    return [child for child in found if child is not None]


def tree(accessible, depth=0):
    """The lines "role 'name'" of the accessible and everything under it;
    the server list's drop-down list, which only holds the entries, is left
    out."""
    lines = ["  " * depth + f"{accessible.get_role_name()} {accessible.get_name()!r}"]
    if accessible.get_role() != Atspi.Role.COMBO_BOX:
        for child in children(accessible):
            lines += tree(child, depth + 1)
    return lines


def find(accessible, role, name=None):
    """The first accessible of the role (and name) under accessible, depth first."""
    for child in children(accessible):
        if child.get_role() == role and (name is None or child.get_name() == name):
            return child
        found = find(child, role, name)
        if found:
            return found
    return None


def labelled_by(accessible):
    return [relation.get_target(i).get_name()
            for relation in accessible.get_relation_set()
            if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY
            for i in range(relation.get_n_targets())]


def text_of(accessible):
    return Atspi.Text.get_text(accessible, 0, -1)


# A database statement through the test server with isql.
def isql(sql, database=COMPANY_01, check_ok=True):
    run = subprocess.run(["isql-fb", "-q", "-b", "-user", "SYSDBA", "-password", PASSWORD, database],
                         input=sql, capture_output=True, text=True, timeout=60)
    if check_ok and run.returncode != 0:
        raise Failure(f"isql: {sql.strip()}: {run.stderr.strip()}")
    return run


def scalar(query, database=COMPANY_01):
    return isql(f"set heading off; {query}\n", database).stdout.strip()


class RowHold:
    """A row locked by a transaction of the test's own, an isql session kept
    open until release() rolls it back."""

    def __init__(self, update):
        self.update = update
        self.session = subprocess.Popen(
            ["isql-fb", "-q", "-user", "SYSDBA", "-password", PASSWORD, COMPANY_01],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
        self.session.stdin.write(f"set transaction wait; {update}\n")
        self.session.stdin.flush()
        until(self.holds, f"the row held ({update})")

    def holds(self):
        attempt = isql(f"set transaction no wait; {self.update} rollback;\n", check_ok=False)
        # The engine names the transaction that holds the row.
        return "concurrent transaction number" in attempt.stderr

    def release(self):
        if self.session.poll() is None:
            self.session.stdin.write("rollback;\nquit;\n")
            self.session.stdin.close()
            self.session.wait(timeout=30)


class Window:
    """A run of the window program, found on the accessibility bus."""

    def __init__(self, name):
        self.log = tempfile.NamedTemporaryFile(prefix=f"a11y-{name}-", suffix=".log", delete=False)
        self.process = subprocess.Popen([PROBE], stdout=self.log, stderr=subprocess.STDOUT)
        self.app = until(self.find_application, "the program on the accessibility bus")
        self.frame = until(lambda: find(self.app, Atspi.Role.FRAME, WINDOW), f"the window {WINDOW!r}")
        # Keys typed with xdotool go to the window that has the keyboard.
        until(lambda: has_state(self.frame, Atspi.StateType.ACTIVE), "the window activated")

    def find_application(self):
        desktop = Atspi.get_desktop(0)
        for application in children(desktop):
            if application and application.get_name() == TITLE and application.get_child_count() > 0:
                return application
        return None

    def control(self, role, name):
        found = find(self.frame, role, name)
        check(found is not None, f"no {role.value_nick} named {name!r} in the window")
        return found

    def box(self):
        """The message box the program shows, if any."""
        for child in children(self.app):
            if child.get_role() == Atspi.Role.ALERT:
                return child
        return None

    def read_box(self, text):
        """Checks that the box shown is read whole: its title, then its text,
        and dismisses it with its button."""
        box = until(self.box, f"the message box {text!r}")
        check_equal(box.get_name(), TITLE, "the message box's name (its title)")
        # (Without an icon, the box's place for it is an empty label, which a reader passes over.)
        labels = [label.get_name() for label in children(box)
                  if label.get_role() == Atspi.Role.LABEL and label.get_name()]
        check_equal(labels, [text], "the message box's text")
        Atspi.Action.do_action(find(box, Atspi.Role.PUSH_BUTTON, "OK"), 0)
        until(lambda: self.box() is None, "the message box dismissed")

    def ends(self, code=0):
        deadline = time.monotonic() + 30
        while self.process.poll() is None and time.monotonic() < deadline:
            pump()
            time.sleep(0.05)
        check(self.process.poll() is not None, "the program did not end")
        check_equal(self.process.returncode, code, "the program's exit code")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def output(self):
        with open(self.log.name, encoding="utf-8", errors="replace") as log:
            return log.read()


def table_rows(table):
    return [[Atspi.Table.get_accessible_at(table, row, column).get_name()
             for column in range(Atspi.Table.get_n_columns(table))]
            for row in range(Atspi.Table.get_n_rows(table))]


def table_headers(table):
    return [Atspi.Table.get_column_header(table, column).get_name()
            for column in range(Atspi.Table.get_n_columns(table))]


def expected_tree(cells, status):
    """The window's tree, the grid's cells (rows of three) and the status
    panel's caption given."""
    lines = [
        f"frame {WINDOW!r}",
        "  filler ''",
        f"    label {EXPLANATION!r}",
        "  panel 'Origen:'",
        "    label 'Servidor : '",
        f"    combo box {SERVER!r}",
        "    label 'Usuario : '",
        "    text 'Usuario'",
        "    label 'Clave : '",
        "    password text 'Clave'",
        "    label 'Compañía:'",
        "    text 'Compañía'",
        "  panel 'Parámetros '",
        "    label 'Fecha:'",
        "    spin button 'Fecha'",
        "    check box 'NIIF'",
        "  filler ''",
        "    table ''",
        "      table column header 'PREF'",
        "      table column header 'NUMERO'",
        "      table column header 'ESTADO'",
    ]
    lines += [f"      table cell {cell!r}" for row in cells for cell in row]
    lines += [
        "  filler ''",
        "    push button 'F2: Ejecutar'",
        "    push button 'Esc: Cancelar'",
        "    label 'Rev:2026/05/25'",
        f"  status bar {status!r}",
    ]
    return lines


def check_tree(frame, cells, status, what):
    read = tree(frame)
    print(f"The tree {what}:")
    print("\n".join("  " + line for line in read))
    check_equal(read, expected_tree(cells, status), f"the tree {what}")


def events_from(source, kind):
    return [event for event in events if event[1] == source and event[0] == kind]


def connection_and_posting():
    window = Window("posting")
    try:
        frame = window.frame
        check_tree(frame, [["", "", ""]], "Contabilizando facturas. espere un momento...", "at start")
        check_equal(frame.get_description(), EXPLANATION, "the window's description")

        server = window.control(Atspi.Role.COMBO_BOX, SERVER)
        user = window.control(Atspi.Role.TEXT, "Usuario")
        password = window.control(Atspi.Role.PASSWORD_TEXT, "Clave")
        company = window.control(Atspi.Role.TEXT, "Compañía")
        date = window.control(Atspi.Role.SPIN_BUTTON, "Fecha")
        execute = window.control(Atspi.Role.PUSH_BUTTON, "F2: Ejecutar")
        status = window.control(Atspi.Role.STATUS_BAR, "Contabilizando facturas. espere un momento...")
        table = find(frame, Atspi.Role.TABLE)

        # Each box is linked to the caption beside it (the server list, whose
        # name is the entry it shows, by that link alone).
        for control, caption in ((server, "Servidor : "), (user, "Usuario : "), (password, "Clave : "),
                                 (company, "Compañía:"), (date, "Fecha:")):
            check(caption in labelled_by(control), f"{control.get_name()!r} not labelled by {caption!r}")
        # The keyboard's order is the window's: the boxes take the focus, the
        # server list first; the grid, the buttons, the captions and the
        # panels do not.
        check(has_state(server, Atspi.StateType.FOCUSED), "the server list does not have the focus at start")
        focusable = [line.strip() for line, accessible in zip(tree(frame), walk(frame))
                     if has_state(accessible, Atspi.StateType.FOCUSABLE)]
        check_equal(focusable, [f"combo box {SERVER!r}", "text 'Usuario'", "password text 'Clave'",
                                "text 'Compañía'", "spin button 'Fecha'", "check box 'NIIF'"],
                    "what takes the keyboard focus")
        check(not has_state(date, Atspi.StateType.SENSITIVE), "the date picker is enabled at start")
        check(not has_state(execute, Atspi.StateType.SENSITIVE), "F2: Ejecutar is enabled at start")
        check(not has_state(status, Atspi.StateType.SHOWING), "the status panel shows at start")
        # The grid: disabled, yet read whole.
        check(not has_state(table, Atspi.StateType.SENSITIVE), "the grid is enabled")
        check_equal(table_headers(table), ["PREF", "NUMERO", "ESTADO"], "the grid's column headers")
        check_equal(table_rows(table), [["", "", ""]], "the grid's cells at start")

        # Typing through the accessible text interfaces. The user box tells
        # what was typed; the password box tells nothing, neither of what is
        # typed through them nor of the keys typed into it.
        del events[:]
        Atspi.EditableText.set_text_contents(user, "SYSDBA")
        until(lambda: text_of(user) == "SYSDBA", "'SYSDBA' in the user box")
        until(lambda: [e for e in events_from(user, "object:text-changed:insert") if e[2] == "SYSDBA"],
              "the user box's text event")
        Atspi.Component.grab_focus(password)
        until(lambda: has_state(password, Atspi.StateType.FOCUSED), "the focus in the password box")
        typed = "no-es-la-clave"
        subprocess.run(["xdotool", "type", "--delay", "20", typed], check=True)
        until(lambda: Atspi.Text.get_character_count(password) == len(typed), "the password typed")
        Atspi.EditableText.insert_text(company, 0, "01", 2)
        until(lambda: text_of(company) == "01", "'01' in the company box")
        check_equal(text_of(password), "", "the password box's text")
        check_equal([e for e in events if e[1] == password and e[0].startswith("object:text-changed")], [],
                    "text events of the password box")
        check_equal([e for e in events if typed in str(e[2])], [], "events that carry the password")

        # A refused connection: the error box is read whole.
        Atspi.Component.grab_focus(company)
        until(lambda: has_state(company, Atspi.StateType.FOCUSED), "the focus in the company box")
        key("Tab")
        window.read_box("dbExpress Error: [0x0015]: Connection failed\n"
                        "SQL Server Error: Your user name and password are not defined. "
                        "Ask your database administrator to set up a Firebird login.")
        check(has_state(status, Atspi.StateType.SHOWING), "the status panel left by the refused connection")
        check_equal(status.get_name(), "Conectando a la base de datos 01 ...", "the status panel's name")

        # The connection step, held at the server: the status panel's event
        # reaches the bus while the window waits on the database.
        Atspi.EditableText.set_text_contents(password, PASSWORD)
        until(lambda: Atspi.Text.get_character_count(password) == len(PASSWORD), "the password set")
        check_equal(text_of(password), "", "the password box's text")
        check_equal([e for e in events if PASSWORD in str(e[2])], [], "events that carry the password")
        hold = RowHold("update RETENCION set ID = ID where ID = 1;")
        try:
            waiting = scalar("select gen_id(ESPERAS_CONEXION, 0) from rdb$database;")
            Atspi.Component.grab_focus(company)
            until(lambda: has_state(company, Atspi.StateType.FOCUSED), "the focus in the company box")
            del events[:]
            key("Tab")
            until(lambda: int(scalar("select gen_id(ESPERAS_CONEXION, 0) from rdb$database;")) > int(waiting),
                  "the connection step at the server")
            until(lambda: events_from(status, "object:property-change:accessible-name"),
                  "the status panel's event while the connection step waits")
        finally:
            hold.release()
        until(lambda: has_state(date, Atspi.StateType.SENSITIVE), "the date picker enabled by the connection")
        check(has_state(execute, Atspi.StateType.SENSITIVE), "F2: Ejecutar disabled after the connection")
        check(not has_state(status, Atspi.StateType.SHOWING), "the status panel shows after the connection")
        check_equal(status.get_name(), "Conectando a la base de datos 01 ...", "the status panel's name")
        until(lambda: has_state(date, Atspi.StateType.FOCUSED), "the focus in the date picker")

        # The posting, held on a receipt another transaction holds: the
        # status panel tells its caption again as it appears.
        first = scalar("select min(RECI_ID) from RECIBO_CAJA where RECI_FECHA = current_date and COMP_ID is null;")
        hold = RowHold(f"update RECIBO_CAJA set RECI_VALOR = RECI_VALOR where RECI_ID = {first};")
        try:
            del events[:]
            key("F2")
            until(lambda: scalar("select count(*) from mon$statements where mon$state = 1 and "
                                 "mon$sql_text containing 'recibos_sin_contabilidad';") != "0",
                  "the posting at work on the server")
            until(lambda: events_from(status, "object:state-changed:showing"),
                  "the status panel shown while the posting waits")
            until(lambda: events_from(status, "object:property-change:accessible-name"),
                  "the status panel's event while the posting waits")
        finally:
            hold.release()

        # The rows stand in the grid (the program's close is held).
        rows = [["PV01", "000003", "CONTABILIZADO"], ["PV01", "000004", "CONTABILIZADO"],
                ["PV01", "000005", "CONTABILIZADO"]]
        until(lambda: table_rows(table) == rows, "the posted rows in the grid")
        check_equal(table_headers(table), ["PREF", "NUMERO", "ESTADO"], "the grid's column headers with rows")
        check(not has_state(table, Atspi.StateType.SENSITIVE), "the grid is enabled with rows")
        check_tree(frame, rows, "Conectando a la base de datos 01 ...", "with rows in the grid")
        check(not has_state(status, Atspi.StateType.SHOWING), "the status panel shows with the rows")

        key("Escape")
        window.ends(0)
        check_equal(scalar("select count(*) from RECIBO_CAJA where RECI_ID = " + first + " and COMP_ID is not null;"),
                    "1", "the held receipt posted")
    except BaseException:
        print(window.output())
        raise
    finally:
        window.stop()


def walk(accessible):
    """The accessibles in the order of tree()."""
    found = [accessible]
    if accessible.get_role() != Atspi.Role.COMBO_BOX:
        for child in children(accessible):
            found += walk(child)
    return found


def nothing_to_post():
    window = Window("notice")
    try:
        user = window.control(Atspi.Role.TEXT, "Usuario")
        password = window.control(Atspi.Role.PASSWORD_TEXT, "Clave")
        company = window.control(Atspi.Role.TEXT, "Compañía")
        date = window.control(Atspi.Role.SPIN_BUTTON, "Fecha")
        table = find(window.frame, Atspi.Role.TABLE)
        Atspi.EditableText.set_text_contents(user, "SYSDBA")
        Atspi.EditableText.set_text_contents(password, PASSWORD)
        Atspi.EditableText.set_text_contents(company, "02")
        until(lambda: text_of(company) == "02", "'02' in the company box")
        Atspi.Component.grab_focus(company)
        until(lambda: has_state(company, Atspi.StateType.FOCUSED), "the focus in the company box")
        key("Tab")
        until(lambda: has_state(date, Atspi.StateType.FOCUSED), "the connection to company 02")
        key("F2")
        until(window.box, "the notice")
        # Behind the notice the grid shows its one blank row.
        check_equal(table_rows(table), [["", "", ""]], "the grid's cells behind the notice")
        window.read_box("No hay recibos por contabilizar.")
        window.ends(0)
    except BaseException:
        print(window.output())
        raise
    finally:
        window.stop()


def main():
    started = time.monotonic()
    try:
        connection_and_posting()
        nothing_to_post()
    except Failure as failure:
        print(f"FAIL: {failure}")
        return 1
    print(f"accessibility: the tree at start and with rows, typing, the password box, the error box, the status "
          f"panel's event during a held connection step and a held posting, the grid's cells, the notice "
          f"({time.monotonic() - started:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
