// Draws a conversation view from the "groups" array of its data script and talks to the program:
// clicks on command links and selectors go to the host object of the web channel; the program
// calls get_selection, select_all, GetSelectorsStatus and IsOutputOver.
// VIEW_KIND: 0 all conversations (number groups of day groups), 1 one conversation, 2 drafts.
(function () {
    "use strict";

    var outputOver = 0;
    var host = null;
    var CLICK_CLASSES = ["lnkbtn", "msg_selector", "msg_tel_group_selector", "imagbtn"];

    function initial(name) {
        // The name arrives with character references; the avatar shows its first visible character.
        var probe = document.createElement("span");
        probe.innerHTML = name || "";
        var text = (probe.textContent || "").trim();
        return text.length ? text.charAt(0).toUpperCase() : "#";
    }

    function kindOf(sms) { return sms.msgType === 1 ? "mms" : "sms"; }

    // Every message in display order, with where it sits: the page keeps selection in the data
    // (sms.selected), so messages not drawn yet (long lists are drawn as the user scrolls) still
    // take part in select_all and get_selection.
    var flat = [];      // {sms, tel, day, first}: day is the day group's label, first on its first message
    var tels = [];      // all-conversations view: the number groups of every part loaded, in order
    var telHeads = [];  // all-conversations view: [first, last) flat indexes of each number group
    // The all-conversations view comes in parts: the program writes the next one into the data
    // script when asked (AppendPart answers). Until then "select all" stands for the parts not here.
    var more = /[?&]more=1(&|$)/.test(location.search);
    var load = +((/[?&]n=(\d+)/.exec(location.search) || [0, "0"])[1]);
    var parts = 1;
    var asking = false;
    var restSelected = false;
    // What is drawn is a window of blocks: number groups of the overview, chunks of CHUNK messages
    // in the other views. Blocks are drawn as the window comes near them and let go once more than
    // KEEP are drawn and they are far off; a spacer above and below stands for the blocks let go on
    // that side, by the heights they had, so the scroll bar and what is on screen stay put and a
    // jump (the scroll bar dragged) draws where the window lands. Everything drawn costs the
    // renderer memory (a number group of the overview about 100 KB; a long conversation drawn
    // whole took seconds and a hundred megabytes).
    var CHUNK = 30;
    var KEEP = VIEW_KIND === 0 ? 150 : 10;
    var MARGIN = 1500;  // pixels beyond the window's edges that are drawn ahead; twice that is far off
    var first = 0;      // blocks [first, last) are drawn
    var last = 0;
    var heights = [];   // the height each block had when it was let go
    var aboveFrom = 0;  // the upper spacer stands for blocks [aboveFrom, first), the lower one
    var belowTo = 0;    // for [last, belowTo)
    var aboveSpace = 0;
    var belowSpace = 0;

    function messageHtml(index) {
        var entry = flat[index];
        var sms = entry.sms;
        var draft = VIEW_KIND === 2;
        var kind = kindOf(sms);
        var sent = draft || sms.iStatus === 0;
        var key = kind + "_" + sms.id;
        var html = [];
        html.push('<div class="msg ' + (sent ? "sent" : "received") + (sms.selected ? " checked" : "") + '" id="msg_' + key + '">');
        html.push('<input type="checkbox" class="msg_selector" id="sel_' + key + '" data-index="' + index + '"' +
                  (sms.selected ? " checked" : "") + ">");
        html.push('<div class="avatar">' + initial(sms.name) + "</div>");
        html.push('<div class="body"><div class="meta">' + sms.name + "&nbsp;&nbsp;" + sms.time + "</div>");
        html.push('<div class="bubble">' + (sms.msgType === 1 ? '<span class="mms_tag">彩信</span>' : "") + sms.msg + "</div>");
        html.push('<div class="tools">');
        if (sms.msgType === 1) {
            html.push('<a class="imagbtn" id="open_' + key + '" tabindex="0">查看</a>');
        }
        if (draft) {
            if (sms.msgType !== 1) {
                html.push('<a class="lnkbtn" id="edit_' + key + '" tabindex="0">编辑</a>');
            }
        } else {
            html.push('<a class="lnkbtn" id="forward_' + key + '" tabindex="0">转发</a>');
            if (sent && sms.msgType !== 1) {
                html.push('<a class="lnkbtn" id="resend_' + key + '" tabindex="0">重发</a>');
            }
        }
        html.push('<a class="lnkbtn" id="delete_' + key + '" tabindex="0">删除</a>');
        html.push("</div></div></div>");
        return html.join("");
    }

    function collect() {
        var list = (typeof groups !== "undefined" && groups) ? groups : [];
        function addDay(day, tel) {
            var items = (day && day.data) || [];
            var first = true;
            for (var i = 0; i < items.length; ++i) {
                if (items[i]) {
                    items[i].selected = restSelected;
                    flat.push({sms: items[i], tel: tel, day: day.name, first: first});
                    first = false;
                }
            }
        }
        for (var g = 0; g < list.length; ++g) {
            if (!list[g]) {
                continue;
            }
            if (VIEW_KIND === 0) {
                var tel = tels.length;
                var start = flat.length;
                var days = list[g].data || [];
                tels.push(list[g]);
                list[g].Checked = restSelected;
                for (var d = 0; d < days.length; ++d) {
                    addDay(days[d], tel);
                }
                telHeads[tel] = [start, flat.length];
            } else {
                addDay(list[g], -1);
            }
        }
    }

    function telShell(tel, body) {
        var group = tels[tel];
        return '<div class="tel_group" id="tel_' + tel + '"><div class="tel_head">' +
               '<input type="checkbox" class="msg_tel_group_selector" id="telsel_' + tel + '" data-tel="' + tel + '"' +
               (group.Checked ? " checked" : "") + '><span class="tel_name">' + group.Name + "</span>" +
               '<span class="tel_num">' + group.TelNum + '</span></div><div class="tel_body" id="telbody_' + tel +
               '">' + body + "</div></div>";
    }

    function blockCount() {
        return VIEW_KIND === 0 ? tels.length : Math.ceil(flat.length / CHUNK);
    }

    // Messages [from, to) with the label of each day where it starts.
    function messagesHtml(from, to) {
        var html = [];
        for (var i = from; i < to; ++i) {
            if (flat[i].first) {
                html.push(dayHtml(flat[i].day, false));
            }
            html.push(messageHtml(i));
        }
        return html.join("");
    }

    function blockHtml(b) {
        if (VIEW_KIND === 0) {
            return telShell(b, messagesHtml(telHeads[b][0], telHeads[b][1]));
        }
        return '<div class="chunk" id="chunk_' + b + '">' +
               messagesHtml(b * CHUNK, Math.min(flat.length, (b + 1) * CHUNK)) + "</div>";
    }

    function blockElement(b) { return document.getElementById((VIEW_KIND === 0 ? "tel_" : "chunk_") + b); }
    function spaceAbove() { return document.getElementById("space_above"); }
    function spaceBelow() { return document.getElementById("space_below"); }
    function topOf(element) { return element.getBoundingClientRect().top; }

    function setSpaces() {
        spaceAbove().style.height = aboveSpace + "px";
        spaceBelow().style.height = belowSpace + "px";
    }

    // Something drawn to hold on to while blocks come and go above it.
    function anchor() {
        var element = first < last ? blockElement(first) : null;
        return (element && element.querySelector(".msg")) || spaceBelow();
    }

    // A chunk that starts inside a day shows that day's label on top until the block above is drawn.
    function markTopDay() {
        var old = document.querySelector(".day.provisional");
        if (old) {
            old.parentNode.removeChild(old);
        }
        var start = first * CHUNK;
        if (VIEW_KIND !== 0 && first < last && !flat[start].first) {
            blockElement(first).insertAdjacentHTML("afterbegin", dayHtml(flat[start].day, true));
        }
    }

    // Draws the block above the first. However far that moves what is on screen, the upper spacer
    // gives up as much room as it holds, and a scroll makes up the rest.
    function drawAbove() {
        var element = anchor();
        var before = topOf(element);
        first -= 1;
        spaceAbove().insertAdjacentHTML("afterend", blockHtml(first));
        if (first <= aboveFrom) { // no block let go above any more
            aboveFrom = first;
            aboveSpace = 0;
        }
        setSpaces();
        markTopDay();
        var moved = topOf(element) - before;
        var given = Math.min(aboveSpace, Math.max(0, moved));
        aboveSpace -= given;
        setSpaces();
        window.scrollBy(0, moved - given);
    }

    function drawBelow() {
        spaceBelow().insertAdjacentHTML("beforebegin", blockHtml(last));
        last += 1;
        belowSpace = last < belowTo ? Math.max(0, belowSpace - heights[last - 1]) : 0;
        belowTo = Math.max(belowTo, last);
        setSpaces();
    }

    // The first block, well above the window, goes; the upper spacer takes exactly its place.
    function letGoAbove() {
        var element = blockElement(first);
        var next = element.nextElementSibling;
        var held = next.querySelector(".msg") || next;
        var before = topOf(held);
        var height = next.offsetTop - element.offsetTop;
        aboveSpace += height; // grown first, so the page never gets shorter than the window's place in it
        setSpaces();
        element.parentNode.removeChild(element);
        first += 1;
        markTopDay();
        var moved = before - topOf(held);
        heights[first - 1] = height + moved;
        aboveSpace += moved;
        setSpaces();
    }

    // The last block, well below the window, goes; nothing on screen moves.
    function letGoBelow() {
        var element = blockElement(last - 1);
        var height = spaceBelow().offsetTop - element.offsetTop;
        element.parentNode.removeChild(element);
        last -= 1;
        heights[last] = height;
        belowSpace += height;
        setSpaces();
    }

    // The window landed far from what is drawn: everything drawn goes (its heights kept), and the
    // spacers are divided at the block where the window's top now is, by the heights recorded.
    function jump() {
        for (var b = first; b < last; ++b) {
            var element = blockElement(b);
            var next = element.nextElementSibling;
            heights[b] = next.offsetTop - element.offsetTop;
        }
        var y = window.scrollY - spaceAbove().offsetTop;
        var at = aboveFrom;
        var above = 0;
        while (at + 1 < belowTo && above + heights[at] <= y) {
            above += heights[at];
            at += 1;
        }
        var total = aboveSpace + belowSpace;
        for (b = first; b < last; ++b) {
            total += heights[b];
            blockElement(b).parentNode.removeChild(blockElement(b));
        }
        first = last = at;
        aboveSpace = above;
        belowSpace = Math.max(0, total - above);
        setSpaces();
        markTopDay();
    }

    // Brings what is drawn in line with where the window is; called on every scroll and whenever
    // there is more to draw.
    function update() {
        if (first < last &&
            (topOf(spaceBelow()) < -2 * MARGIN || topOf(blockElement(first)) > window.innerHeight + 2 * MARGIN)) {
            jump();
        }
        var count = blockCount();
        while (last < count && topOf(spaceBelow()) < window.innerHeight + MARGIN) {
            drawBelow();
        }
        while (first > 0 && topOf(anchor()) > -MARGIN) {
            drawAbove();
        }
        while (last - first > KEEP && blockElement(first).getBoundingClientRect().bottom < -2 * MARGIN) {
            letGoAbove();
        }
        while (last - first > KEEP && topOf(blockElement(last - 1)) > window.innerHeight + 2 * MARGIN) {
            letGoBelow();
        }
        askMore();
    }

    // Asks for the next part of the overview once few number groups are left to draw.
    function askMore() {
        if (VIEW_KIND === 0 && more && !asking && host && typeof host.morePart === "function" &&
            tels.length - last < CHUNK) {
            asking = true;
            host.morePart(load, parts);
        }
    }

    // Loads the part the program has written to src; an empty src says that none could be written.
    window.AppendPart = function (src, hasMore) {
        if (!src) {
            asking = false;
            return 0;
        }
        var script = document.createElement("script");
        script.charset = "utf-8";
        script.onload = function () {
            collect();
            parts += 1;
            more = !!hasMore;
            asking = false;
            script.parentNode.removeChild(script);
            update();
        };
        script.onerror = function () {
            asking = false; // the next scroll asks again
            script.parentNode.removeChild(script);
        };
        script.src = src;
        document.head.appendChild(script);
        return 1;
    };

    function dayHtml(label, provisional) {
        return '<div class="day' + (provisional ? " provisional" : "") + '"><span>' + label + "</span></div>";
    }

    function render() {
        var view = document.getElementById("view");
        collect();
        if (!flat.length) {
            view.innerHTML = '<div class="empty">' + (VIEW_KIND === 2 ? "草稿箱中没有信息" : "没有信息") + "</div>";
        } else {
            view.innerHTML = '<div id="space_above"></div><div id="space_below"></div>';
            if (VIEW_KIND === 1) {
                first = last = aboveFrom = belowTo = blockCount(); // newest at the bottom
            }
            update();
            if (VIEW_KIND === 1) {
                window.scrollTo(0, document.documentElement.scrollHeight);
            }
        }
        outputOver = 1;
    }

    window.addEventListener("scroll", update);

    function refreshMarks() {
        var boxes = document.querySelectorAll("input.msg_selector");
        for (var i = 0; i < boxes.length; ++i) {
            var sms = flat[+boxes[i].getAttribute("data-index")].sms;
            boxes[i].checked = !!sms.selected;
            if (sms.selected) {
                boxes[i].parentNode.classList.add("checked");
            } else {
                boxes[i].parentNode.classList.remove("checked");
            }
        }
        var heads = document.querySelectorAll("input.msg_tel_group_selector");
        for (var h = 0; h < heads.length; ++h) {
            var tel = +heads[h].getAttribute("data-tel");
            var range = telHeads[tel];
            var on = 0;
            for (var k = range[0]; k < range[1]; ++k) {
                on += flat[k].sms.selected ? 1 : 0;
            }
            tels[tel].Checked = on === range[1] - range[0] && on > 0;
            heads[h].checked = tels[tel].Checked;
            heads[h].indeterminate = on > 0 && !tels[tel].Checked;
        }
    }

    window.get_selection = function () {
        var out = "";
        for (var i = 0; i < flat.length; ++i) {
            if (flat[i].sms.selected) {
                out += (flat[i].sms.msgType === 1 ? 1 : 0) + "," + flat[i].sms.id + ";";
            }
        }
        return out;
    };

    window.select_all = function (on) {
        for (var i = 0; i < flat.length; ++i) {
            flat[i].sms.selected = !!on;
        }
        restSelected = !!on;
        refreshMarks();
        return 1;
    };

    // When "select all" also selected the parts the program still holds: how many parts are here
    // (where the rest starts); 0 otherwise.
    window.rest_selected = function () { return more && restSelected ? parts : 0; };

    // 1 every message selected, 0 none (or no messages), -1 some. The parts not loaded count as one.
    window.GetSelectorsStatus = function () {
        var on = more && restSelected ? 1 : 0;
        for (var i = 0; i < flat.length; ++i) {
            on += flat[i].sms.selected ? 1 : 0;
        }
        if (on === 0) {
            return 0;
        }
        return on === flat.length + (more ? 1 : 0) ? 1 : -1;
    };

    window.IsOutputOver = function () { return outputOver; };

    function classOf(element) {
        for (var i = 0; i < CLICK_CLASSES.length; ++i) {
            if (element.classList && element.classList.contains(CLICK_CLASSES[i])) {
                return CLICK_CLASSES[i];
            }
        }
        return "";
    }

    function report(cls, id) {
        if (host) {
            host.elementClicked(cls, id);
        }
    }

    document.addEventListener("click", function (event) {
        var element = event.target;
        while (element && element !== document && !classOf(element)) {
            element = element.parentNode;
        }
        if (!element || element === document) {
            return;
        }
        var cls = classOf(element);
        if (cls === "msg_tel_group_selector") {
            var range = telHeads[+element.getAttribute("data-tel")];
            for (var i = range[0]; i < range[1]; ++i) {
                flat[i].sms.selected = element.checked;
            }
            refreshMarks();
        } else if (cls === "msg_selector") {
            flat[+element.getAttribute("data-index")].sms.selected = element.checked;
            refreshMarks();
        }
        report(cls, element.id);
    });

    document.addEventListener("keydown", function (event) {
        var cls = classOf(event.target);
        if ((cls === "lnkbtn" || cls === "imagbtn") && (event.key === "Enter" || event.key === " ")) {
            event.preventDefault();
            event.target.click();
        }
    });

    function connect() {
        if (typeof QWebChannel === "undefined" || typeof qt === "undefined" || !qt.webChannelTransport) {
            return;
        }
        new QWebChannel(qt.webChannelTransport, function (channel) {
            host = channel.objects.host || null;
            askMore();
        });
    }

    document.addEventListener("DOMContentLoaded", function () {
        connect();
        render();
    });
})();
