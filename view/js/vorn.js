// The starter page of vorn: the connected devices with their product data, their properties,
// live device reports and changes, and the configuration. It talks to the host through
// cefQuery (one answer per request) and receives events through setMessageCallback.
"use strict";

(function () {
    // ----- the host -------------------------------------------------------------------------

    // The host's bridge script defines cefQuery when the document is created.
    const hasHost = () => typeof window.cefQuery === "function";

    // Sends a request object; resolves with the success text, rejects with {code, message}.
    // Requests that get no answer within timeoutMs reject with {timeout: true}.
    function request(object, timeoutMs = 8000) {
        return rawRequest(JSON.stringify(object), timeoutMs);
    }

    function rawRequest(text, timeoutMs) {
        return new Promise((resolve, reject) => {
            if (!hasHost()) {
                reject({ message: "no host" });
                return;
            }
            let settled = false;
            const timer = timeoutMs > 0
                ? setTimeout(() => {
                    settled = true;
                    reject({ timeout: true });
                }, timeoutMs)
                : null;
            window.cefQuery({
                request: text,
                onSuccess: (response) => {
                    if (settled) return;
                    settled = true;
                    clearTimeout(timer);
                    resolve(response);
                },
                onFailure: (code, message) => {
                    if (settled) return;
                    settled = true;
                    clearTimeout(timer);
                    reject({ code, message });
                },
            });
        });
    }

    // Window requests that get no answer by design.
    function send(text) {
        if (hasHost())
            window.cefQuery({ request: text, onSuccess() {}, onFailure() {} });
    }

    function onEvent(name, handler) {
        if (typeof window.setMessageCallback === "function")
            window.setMessageCallback(name, handler);
    }

    function describeError(error) {
        if (!error) return "unknown error";
        if (error.timeout) return "no answer from the host";
        if (error.message) return error.message + (error.code !== undefined ? " (" + error.code + ")" : "");
        return String(error);
    }

    // ----- small helpers --------------------------------------------------------------------

    const $ = (id) => document.getElementById(id);

    function element(tag, className, text) {
        const node = document.createElement(tag);
        if (className) node.className = className;
        if (text !== undefined) node.textContent = text;
        return node;
    }

    function setStatus(text, kind) {
        const status = $("status");
        status.textContent = text;
        status.className = kind || "";
    }

    function clockTime() {
        return new Date().toTimeString().slice(0, 8);
    }

    // "0x01,0x00" <-> [1, 0]
    function parseByteList(text) {
        if (!text) return [];
        return text.split(",").map((item) => parseInt(item, 16) & 0xff);
    }

    function formatByteList(bytes) {
        return bytes.map((b) => "0x" + b.toString(16).padStart(2, "0")).join(",");
    }

    function littleEndian(bytes) {
        return bytes.reduceRight((value, b) => value * 256 + b, 0);
    }

    function toLittleEndian(value, size) {
        const bytes = [];
        for (let i = 0; i < size; ++i) {
            bytes.push(value & 0xff);
            value = Math.floor(value / 256);
        }
        return bytes;
    }

    // ----- properties of the devices (docs/simulated-device.md) -----------------------------

    const LedEffects = ["off", "static", "breathing", "wave", "ripple", "reactive", "spectrum", "custom"];

    const Properties = [
        { id: 1, name: "Firmware version", size: 3, readOnly: true,
          show: (b) => b.join(".") },
        { id: 2, name: "Active mode", size: 1, min: 0, max: 4,
          show: (b) => "mode " + b[0] },
        { id: 3, name: "DPI", size: 2, min: 100, max: 16000, step: 50, only: "mouse",
          show: (b) => littleEndian(b) + " dpi" },
        { id: 4, name: "LED brightness", size: 1, min: 0, max: 100,
          show: (b) => b[0] + " %" },
        { id: 5, name: "Report interval", size: 1, choices: [1, 2, 4, 8],
          show: (b) => b[0] + " ms" },
        { id: 6, name: "LED effect", size: 1, min: 0, max: 7,
          show: (b) => b[0] + " (" + (LedEffects[b[0]] || "?") + ")" },
        { id: 7, name: "Device option", size: 1, min: 0, max: 3,
          show: (b, kind) => kind === "mouse" ? "lift-off " + b[0] + " mm"
                                                : "game mode " + (b[0] ? "on" : "off") },
    ];

    function deviceKind(device) {
        const kind = (device.device || device.productType || "").toLowerCase();
        if (kind) return kind;
        if (/Pid_a2/i.test(device.HardwareID)) return "mouse";
        return "keyboard";
    }

    function optionLimits(property, kind) {
        if (property.id === 7)
            return kind === "mouse" ? { min: 1, max: 3 } : { min: 0, max: 1 };
        return { min: property.min, max: property.max };
    }

    // ----- state ----------------------------------------------------------------------------

    let devices = [];
    let selectedId = null; // HardwareID of the selected device
    let listGeneration = 0;

    function selectedDevice() {
        return devices.find((d) => d.HardwareID === selectedId) || null;
    }

    // ----- device list ----------------------------------------------------------------------

    async function loadDevices() {
        const generation = ++listGeneration;
        try {
            const text = await request({ funcname: "getDevicesList" });
            if (generation !== listGeneration) return;
            const list = JSON.parse(text);
            devices = Array.isArray(list) ? list : [];
            setHostState(true);
        } catch (error) {
            if (generation !== listGeneration) return;
            devices = [];
            setHostState(hasHost() && !error.timeout);
            setStatus("Listing the devices failed: " + describeError(error), "bad");
        }
        renderDevices();
    }

    function renderDevices() {
        const list = $("device-list");
        list.replaceChildren();
        for (const device of devices) {
            const item = element("li", "device");
            item.dataset.id = device.HardwareID;
            item.append(element("div", "device-name", device.productName || device.DeviceID));
            item.append(element("div", "device-meta",
                deviceKind(device) + " · " + device.DeviceID + " · v" + device.Version));
            item.addEventListener("click", () => selectDevice(device.HardwareID));
            if (device.HardwareID === selectedId) item.classList.add("selected");
            list.append(item);
        }
        $("devices-empty").classList.toggle("hidden", devices.length > 0 || !hasHost());

        if (selectedId && !selectedDevice()) selectedId = null;
        if (!selectedId && devices.length > 0) {
            selectDevice(devices[0].HardwareID);
            return;
        }
        renderDetail();
    }

    function selectDevice(hardwareId) {
        const changed = hardwareId !== selectedId;
        selectedId = hardwareId;
        for (const item of $("device-list").children)
            item.classList.toggle("selected", item.dataset.id === hardwareId);
        renderDetail();
        if (changed) readAllProperties();
    }

    // ----- device detail and properties -----------------------------------------------------

    function renderDetail() {
        const device = selectedDevice();
        $("detail").classList.toggle("hidden", !device);
        $("detail-none").classList.toggle("hidden", !!device);
        if (!device) return;

        const kind = deviceKind(device);
        $("detail-heading").textContent = device.productName || device.DeviceID;
        $("detail-heading").title = device.productCN || "";
        $("detail-description").textContent = device.description || "";
        $("detail-type").textContent = kind;

        const facts = $("detail-facts");
        facts.replaceChildren();
        const rows = [
            ["Device ID", device.DeviceID], ["Firmware", device.Version], ["Serial", device.SN],
            ["Mask", device.MASK], ["Hardware ID", device.HardwareID], ["Path", device.DevicePath],
        ];
        for (const [label, value] of rows) {
            facts.append(element("dt", "", label));
            facts.append(element("dd", "", value || "—"));
        }

        const body = $("property-rows");
        if (body.dataset.device === device.HardwareID) return;
        body.dataset.device = device.HardwareID;
        body.replaceChildren();
        for (const property of Properties)
            body.append(propertyRow(device, property, kind));
    }

    function propertyRow(device, property, kind) {
        const row = element("tr");
        row.id = "prop-" + property.id;
        const supported = !property.only || property.only === kind;
        row.classList.toggle("unsupported", !supported);
        row.append(element("td", "", String(property.id)));
        row.append(element("td", "", property.name));
        const value = element("td", "value", supported ? "—" : "not on this device");
        row.append(value);

        const inputCell = element("td");
        const actionCell = element("td");
        row.append(inputCell, actionCell);
        if (!supported || property.readOnly) {
            if (supported) inputCell.append(element("span", "muted small", "read-only"));
            return row;
        }

        let input;
        if (property.choices) {
            input = element("select");
            for (const choice of property.choices)
                input.append(new Option(String(choice), String(choice)));
        } else {
            input = element("input");
            input.type = "number";
            const limits = optionLimits(property, kind);
            input.min = limits.min;
            input.max = limits.max;
            input.step = property.step || 1;
            input.placeholder = limits.min + "…" + limits.max;
        }
        const write = element("button", "primary", "Write");
        write.addEventListener("click", () => writeProperty(device, property, input.value));
        input.addEventListener("keydown", (e) => {
            if (e.key === "Enter") writeProperty(device, property, input.value);
        });
        inputCell.append(input);
        actionCell.append(write);
        return row;
    }

    async function readProperty(device, property) {
        const kind = deviceKind(device);
        if (property.only && property.only !== kind) return;
        const cell = document.querySelector("#prop-" + property.id + " td.value");
        try {
            const text = await request({
                funcname: "readDevicesProp", HardwareID: device.HardwareID,
                DevicePath: device.DevicePath, PARAMSIZE: property.size, PARAMID: property.id,
            });
            if (!cell || selectedId !== device.HardwareID) return;
            const bytes = parseByteList(text);
            cell.replaceChildren(property.show(bytes, kind), element("span", "bytes", text));
            const input = cell.parentElement.querySelector("input, select");
            if (input && document.activeElement !== input) {
                input.value = String(property.size === 1 ? bytes[0] : littleEndian(bytes));
            }
            cell.parentElement.classList.remove("flash");
            void cell.offsetWidth; // restart the animation
            cell.parentElement.classList.add("flash");
        } catch (error) {
            if (cell) cell.textContent = "read failed: " + describeError(error);
        }
    }

    async function readAllProperties() {
        const device = selectedDevice();
        if (!device) return;
        for (const property of Properties) {
            if (selectedId !== device.HardwareID) return;
            await readProperty(device, property);
        }
    }

    async function writeProperty(device, property, rawValue) {
        const value = Number(rawValue);
        const limits = optionLimits(property, deviceKind(device));
        const allowed = property.choices
            ? property.choices.includes(value)
            : Number.isInteger(value) && value >= limits.min && value <= limits.max &&
              (!property.step || value % property.step === 0);
        if (rawValue === "" || !allowed) {
            setStatus(property.name + ": " + rawValue + " is not a valid value", "bad");
            return;
        }
        const data = formatByteList(toLittleEndian(value, property.size));
        try {
            const answer = await request({
                funcname: "writeDevicesProp", HardwareID: device.HardwareID,
                DevicePath: device.DevicePath, PARAMSIZE: property.size, PARAMID: property.id,
                PARAMDATA: data,
            });
            setStatus(property.name + " ← " + value + ": " + answer, "ok");
        } catch (error) {
            setStatus(property.name + " ← " + value + ": " + describeError(error), "bad");
        }
        if (selectedId === device.HardwareID) readProperty(device, property);
    }

    // ----- events ---------------------------------------------------------------------------

    const MaximumActivity = 40;

    function addActivity(kind, text) {
        const list = $("activity");
        const item = element("li");
        item.append(element("span", "time", clockTime()), element("span", "kind-" + kind, text));
        list.prepend(item);
        while (list.children.length > MaximumActivity) list.lastElementChild.remove();
    }

    function describeDeviceEvent(value) {
        const kind = value & 0xffff;
        const what = kind === 0x8000 ? "arrived" : kind === 0x8004 ? "left" : "changed";
        return "device " + what + " (0x" + value.toString(16).padStart(4, "0") + ")";
    }

    function describeReport(hex) {
        const bytes = [];
        for (let i = 0; i + 1 < hex.length; i += 2) bytes.push(parseInt(hex.substr(i, 2), 16));
        switch (bytes[0]) {
        case 0x01: return "mode " + bytes[1] + " chosen";
        case 0x02: return "DPI " + (bytes[1] | (bytes[2] << 8)) + " chosen";
        case 0x03: return "key " + bytes[1] + (bytes[2] ? " pressed" : " released");
        default: return "report";
        }
    }

    onEvent("devicesChanged", (args) => {
        const value = Number(args && args[0]) || 0;
        addActivity("event", describeDeviceEvent(value));
        loadDevices();
    });

    onEvent("onDeviceData", (args) => {
        const hex = String((args && args[0]) || "");
        addActivity("report", hex + "  " + describeReport(hex));
        // Reports come from the first listed device; mode and DPI chosen on it change its
        // properties.
        const device = selectedDevice();
        if (!device || device !== devices[0]) return;
        if (hex.startsWith("01")) readProperty(device, Properties[1]);
        if (hex.startsWith("02")) readProperty(device, Properties[2]);
    });

    // ----- configuration --------------------------------------------------------------------

    async function loadConfiguration() {
        const state = $("conf-state");
        const list = $("conf");
        state.textContent = "Asking the host…";
        list.replaceChildren();
        try {
            const text = await request({ funcname: "getConf" }, 3000);
            const parsed = JSON.parse(text);
            const conf = Array.isArray(parsed) ? parsed[0] || {} : parsed;
            state.textContent = "";
            for (const key of Object.keys(conf).sort()) {
                const value = String(conf[key]).replace(/[\u0000-\u001f]/g, "");
                list.append(element("dt", "", key), element("dd", "", value));
            }
        } catch (error) {
            state.textContent = error.timeout
                ? "The host did not answer (the configuration is not available in this version)."
                : "Configuration not available: " + describeError(error);
        }
    }

    // ----- window: drag, minimise, maximise -------------------------------------------------

    function setupWindowControls() {
        const bar = $("titlebar");
        let dragging = false;
        let lastX = 0;
        let lastY = 0;
        let pendingX = 0;
        let pendingY = 0;
        let inFlight = false;

        // One move request at a time; movements that arrive meanwhile are added up.
        function flushMove() {
            if (inFlight || (pendingX === 0 && pendingY === 0)) return;
            const text = "moveWindow:" + pendingX + "," + pendingY + "," +
                window.outerWidth + "," + window.outerHeight;
            pendingX = 0;
            pendingY = 0;
            inFlight = true;
            rawRequest(text, 2000).catch(() => {}).finally(() => {
                inFlight = false;
                flushMove();
            });
        }

        bar.addEventListener("pointerdown", (e) => {
            if (e.button !== 0 || e.target.closest("button")) return;
            dragging = true;
            lastX = e.screenX;
            lastY = e.screenY;
            bar.setPointerCapture(e.pointerId);
        });
        bar.addEventListener("pointermove", (e) => {
            if (!dragging) return;
            pendingX += Math.round(e.screenX - lastX);
            pendingY += Math.round(e.screenY - lastY);
            lastX = e.screenX;
            lastY = e.screenY;
            flushMove();
        });
        const stop = (e) => {
            dragging = false;
            if (bar.hasPointerCapture(e.pointerId)) bar.releasePointerCapture(e.pointerId);
        };
        bar.addEventListener("pointerup", stop);
        bar.addEventListener("pointercancel", stop);
        bar.addEventListener("dblclick", (e) => {
            if (!e.target.closest("button")) toggleMaximised();
        });

        $("btn-minimise").addEventListener("click", () => {
            rawRequest('{"funcname":"minisizeWindow"}', 2000).catch(() => {});
        });
        $("btn-maximise").addEventListener("click", toggleMaximised);
    }

    function toggleMaximised() {
        const maximised = document.body.classList.toggle("maximised");
        send(maximised ? '{"funcname":"maxsizeWindow"}' : '{"funcname":"restoreWindow"}');
        $("btn-maximise").title = maximised ? "Restore" : "Maximise";
    }

    // ----- start ----------------------------------------------------------------------------

    function setHostState(ok) {
        const state = $("host-state");
        state.classList.toggle("ok", ok);
        state.classList.toggle("bad", !ok);
        state.textContent = ok ? "host connected" : hasHost() ? "host not answering" : "no host";
    }

    function start() {
        setupWindowControls();
        $("btn-refresh").addEventListener("click", loadDevices);
        $("btn-read-all").addEventListener("click", readAllProperties);
        $("btn-conf").addEventListener("click", loadConfiguration);
        $("btn-clear-activity").addEventListener("click", () => $("activity").replaceChildren());
        if (!hasHost()) {
            setHostState(false);
            setStatus("This page is shown without its host program: no device access.", "bad");
            $("conf-state").textContent = "No host.";
            renderDevices();
            return;
        }
        setStatus("Ready.");
        // The page paints its frame first; the host's answers fill it in.
        requestAnimationFrame(() => setTimeout(() => {
            loadDevices();
            loadConfiguration();
        }, 0));
    }

    if (document.readyState === "loading")
        document.addEventListener("DOMContentLoaded", start);
    else
        start();
})();
