// The page side of the bridge, run at document creation in every frame of every page, in the
// page's own world. It keeps the page's interface to the host:
//
//   cefQuery({request, persistent, onSuccess, onFailure}) -> query id
//   cefQueryCancel(id)
//   setMessageCallback(name, callback)
//
// The main frame talks to the host object "vornHost" over the page's web channel; a sub-frame
// uses its main frame's registry when it may reach it (same origin) and is otherwise left
// without a host. The host answers only the application's own pages.
//
// This text is the body of a function that receives QWebChannel (see clienthandler.cpp).

'use strict';

// The script may be given to a document twice (as the profile's and as the page's).
var installedKey = Symbol.for('vorn.bridge.installed');
if (window[installedKey])
    return;
Object.defineProperty(window, installedKey, {value: true});

var bridgeKey = Symbol.for('vorn.bridge');
var eventNames = ['devicesChanged', 'macroItem', 'currentPropChanged', 'navStateChanged',
                  'onDeviceData', 'onProcessChanged'];

// An exception of the page's callback is reported as uncaught, without stopping the bridge.
function reportLater(error) {
    setTimeout(function () { throw error; }, 0);
}

function createCore() {
    var callbacks = new Map(); // event name -> {callback, realm}
    var pending = new Map();   // query id -> {onSuccess, onFailure}
    var lastQueryId = 0;
    // Answers name the document that asked: one that arrives after a navigation cannot be
    // taken for an answer to the next document's query of the same number.
    var documentToken = Math.floor(Math.random() * 0x20000000000000);
    var host = null;
    var waiting = [];          // [id, request] asked before the channel was ready

    // answer: [token, id, true, text] or [token, id, false, code, text].
    function answered(answer) {
        if (!Array.isArray(answer) || answer[0] !== documentToken)
            return;
        var query = pending.get(answer[1]);
        // A query that was cancelled.
        if (!query)
            return;
        pending.delete(answer[1]);
        try {
            if (answer[2] === true) {
                if (query.onSuccess)
                    query.onSuccess(answer[3]);
            } else if (query.onFailure) {
                query.onFailure(answer[3], answer[4]);
            }
        } catch (error) {
            reportLater(error);
        }
    }

    function answeredAll(answers) {
        if (Array.isArray(answers))
            answers.forEach(answered);
    }

    // Writing the property sends the query without waiting for a reply of the channel's own.
    function send(id, request) {
        host.request = [documentToken, id, request];
    }

    function deliver(name, args) {
        if (eventNames.indexOf(name) < 0 || !Array.isArray(args))
            return;
        var entry = callbacks.get(name);
        if (!entry)
            return;
        try {
            entry.callback.call(undefined, entry.realm.Array.from(args));
        } catch (error) {
            reportLater(error);
        }
    }

    return {
        register: function (name, callback, realm) {
            if (!callbacks.has(name))
                callbacks.set(name, {callback: callback, realm: realm});
        },
        // Drops the registrations made in a frame whose document goes away.
        release: function (realm) {
            callbacks.forEach(function (entry, name) {
                if (entry.realm === realm)
                    callbacks.delete(name);
            });
        },
        query: function (request, onSuccess, onFailure) {
            var id = ++lastQueryId;
            pending.set(id, {onSuccess: onSuccess, onFailure: onFailure});
            if (host)
                send(id, request);
            else
                waiting.push([id, request]);
            return id;
        },
        cancel: function (id) {
            pending.delete(id);
        },
        connect: function (transport) {
            var channel = new QWebChannel(transport, function () {
                var object = channel.objects.vornHost;
                if (!object)
                    return;
                object.answered.connect(answeredAll);
                object.eventSent.connect(deliver);
                host = object;
                waiting.forEach(function (query) { send(query[0], query[1]); });
                waiting = [];
                object.ready();
            });
            // Messages meant for an earlier document of this page may still arrive before
            // this document's channel knows the host object: they are ignored. Each document
            // numbers its channel calls from its own random start and ignores replies to
            // numbers it did not use.
            channel.execId = 1 + Math.floor(Math.random() * 0x10000000000);
            var handleResponse = channel.handleResponse;
            channel.handleResponse = function (message) {
                if (message && Object.prototype.hasOwnProperty.call(channel.execCallbacks, message.id))
                    handleResponse(message);
            };
            var handleSignal = channel.handleSignal;
            channel.handleSignal = function (message) {
                if (message && Object.prototype.hasOwnProperty.call(channel.objects, message.object))
                    handleSignal(message);
            };
        },
    };
}

function transport() {
    return (typeof qt === 'object' && qt && qt.webChannelTransport) || null;
}

var core = null;
if (window === window.top) {
    core = createCore();
    Object.defineProperty(window, bridgeKey, {value: core});
    if (transport()) {
        core.connect(transport());
    } else {
        document.addEventListener('DOMContentLoaded', function () {
            if (transport())
                core.connect(transport());
        }, {once: true});
    }
} else {
    try {
        core = window.top[bridgeKey] || null;
    } catch (error) {
        core = null; // a main frame of another origin
    }
    if (core) {
        var frameCore = core;
        window.addEventListener('pagehide', function () { frameCore.release(window); });
    } else {
        core = createCore(); // never connected: queries stay unanswered, events never come
    }
}

function invalid(text) {
    return new Error('Invalid arguments; ' + text);
}

window.cefQuery = function (query) {
    if (arguments.length !== 1 || query === null || typeof query !== 'object')
        throw invalid('expecting a single object');
    if (typeof query.request !== 'string')
        throw invalid("object member 'request' is required and must have type string");
    if (query.onSuccess !== undefined && typeof query.onSuccess !== 'function')
        throw invalid("object member 'onSuccess' must have type function");
    if (query.onFailure !== undefined && typeof query.onFailure !== 'function')
        throw invalid("object member 'onFailure' must have type function");
    if (query.persistent !== undefined && typeof query.persistent !== 'boolean')
        throw invalid("object member 'persistent' must have type boolean");
    return core.query(query.request, query.onSuccess, query.onFailure);
};

window.cefQueryCancel = function (id) {
    if (arguments.length !== 1 || typeof id !== 'number')
        throw invalid('expecting a single integer');
    core.cancel(id);
};

window.setMessageCallback = function (name, callback) {
    if (arguments.length === 2 && typeof name === 'string' && typeof callback === 'function')
        core.register(name, callback, window);
};

// Text areas keep the size the page gives them.
try {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('textarea { resize: none !important; }');
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);
} catch (error) {
    // a document without style sheets
}
