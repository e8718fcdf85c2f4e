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
    var drawn = 0;      // all conversations, drawn from the top: flat[0, drawn) are drawn
    // Messages drawn at a time; chunks are added until the page reaches past the window's edge, and
    // the rest follows as the user scrolls. Everything drawn costs the renderer memory for good
    // (a hundred conversations of the overview about 10 MB; a long conversation drawn whole took
    // seconds and a hundred megabytes).
    var CHUNK = 30;
    var MARGIN = 600; // pixels beyond the window's edge that are drawn ahead
    // All conversations: number groups far from the window are let go in batches, and drawn again
    // when the user comes back to them, so scrolling through thousands keeps this many at most. A
    // spacer at the top stands for the groups let go above.
    var KEEP = 150;
    var BATCH = 30;
    var firstTel = 0;   // the first number group drawn
    var letGo = [];     // heights of the batches let go above, the last on top

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
        html.push('<div class="bubble">' + (sms.msgType === 1 ? '<span class="mms_tag">MMS</span>' : "") + sms.msg + "</div>");
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
               '">' + (body || "") + "</div></div>";
    }

    // A whole number group with its messages.
    function telHtml(tel) {
        var html = [];
        for (var i = telHeads[tel][0]; i < telHeads[tel][1]; ++i) {
            if (flat[i].first) {
                html.push(dayHtml(flat[i].day, false));
            }
            html.push(messageHtml(i));
        }
        return telShell(tel, html.join(""));
    }

    function removeTels(from, to) {
        for (var t = from; t < to; ++t) {
            var element = document.getElementById("tel_" + t);
            if (element) {
                element.parentNode.removeChild(element);
            }
        }
    }

    function spacer() { return document.getElementById("spacer"); }

    function lastTel() { return drawn > 0 ? flat[drawn - 1].tel : -1; }

    // Lets go of the oldest batches of number groups once more than KEEP are drawn and the batch is
    // well above the window; the spacer grows by what they took, so nothing on screen moves.
    function trimTop() {
        while (lastTel() - firstTel + 1 > KEEP) {
            var anchor = document.getElementById("tel_" + (firstTel + BATCH));
            var first = document.getElementById("tel_" + firstTel);
            if (!anchor || !first || anchor.getBoundingClientRect().top > -MARGIN) {
                return;
            }
            var space = spacer().offsetHeight;
            var before = anchor.getBoundingClientRect().top;
            var estimate = anchor.offsetTop - first.offsetTop;
            // Grown first, so the page never gets shorter than the window's place in it.
            spacer().style.height = (space + estimate) + "px";
            removeTels(firstTel, firstTel + BATCH);
            var height = estimate + before - anchor.getBoundingClientRect().top;
            spacer().style.height = (space + height) + "px";
            letGo.push(height);
            firstTel += BATCH;
        }
    }

    // The window jumped far above what is drawn (the scroll bar dragged up): draws the two batches
    // at the window's place instead, by the heights they had, and lets go of everything below.
    function jumpUp() {
        var y = window.scrollY;
        var k = 0;
        var top = 0;
        while (k + 1 < letGo.length && top + letGo[k] <= y) {
            top += letGo[k];
            ++k;
        }
        var end = Math.min(firstTel, (k + 2) * BATCH);
        var html = [];
        for (var t = k * BATCH; t < end; ++t) {
            html.push(telHtml(t));
        }
        // New first, old out after, so the page never gets shorter than the window's place in it.
        spacer().insertAdjacentHTML("afterend", html.join(""));
        removeTels(firstTel, lastTel() + 1);
        spacer().style.height = top + "px";
        letGo.length = k;
        firstTel = k * BATCH;
        drawn = telHeads[end - 1][1];
        window.scrollTo(0, y);
        fillDown();
    }

    // Draws again the batches let go above once the window comes near them, keeping what is on
    // screen in place, then lets go of groups far below.
    function restoreTop() {
        if (letGo.length > 1 &&
            window.scrollY + window.innerHeight + MARGIN < spacer().offsetHeight - letGo[letGo.length - 1]) {
            jumpUp();
            return;
        }
        while (firstTel > 0 && window.scrollY < spacer().offsetHeight + MARGIN) {
            var anchor = document.getElementById("tel_" + firstTel);
            if (!anchor) {
                return;
            }
            var before = anchor.getBoundingClientRect().top;
            var html = [];
            for (var t = firstTel - BATCH; t < firstTel; ++t) {
                html.push(telHtml(t));
            }
            spacer().insertAdjacentHTML("afterend", html.join(""));
            firstTel -= BATCH;
            // Heights change when the window is resized; at the first batch the spacer is gone for good.
            spacer().style.height = (firstTel === 0 ? 0 : Math.max(0, spacer().offsetHeight - letGo.pop())) + "px";
            if (firstTel === 0) {
                letGo = [];
            }
            window.scrollBy(0, anchor.getBoundingClientRect().top - before);
        }
        while (lastTel() - firstTel + 1 > KEEP) {
            var from = lastTel() - BATCH + 1;
            var element = document.getElementById("tel_" + from);
            if (!element || element.getBoundingClientRect().top < window.innerHeight + MARGIN) {
                return;
            }
            removeTels(from, lastTel() + 1);
            drawn = telHeads[from][0];
        }
    }

    // All conversations: draws the next chunk of messages (at least up to "until"); a number group's
    // messages go into its body, which may be continued by a later chunk.
    function drawMore(until) {
        if (drawn >= flat.length) {
            askMore();
            return;
        }
        var view = document.getElementById("view");
        var end = Math.min(flat.length, Math.max(drawn + CHUNK, until || 0));
        var target = VIEW_KIND === 0 && drawn > 0 ? document.getElementById("telbody_" + flat[drawn].tel) : view;
        var html = [];
        function flush() {
            if (html.length && target) {
                target.insertAdjacentHTML("beforeend", html.join(""));
            }
            html = [];
        }
        for (var i = drawn; i < end; ++i) {
            var entry = flat[i];
            if (VIEW_KIND === 0 && telHeads[entry.tel][0] === i) {
                flush();
                view.insertAdjacentHTML("beforeend", telShell(entry.tel));
                target = document.getElementById("telbody_" + entry.tel);
            }
            if (entry.first) {
                html.push(dayHtml(entry.day, false));
            }
            html.push(messageHtml(i));
        }
        flush();
        drawn = end;
        askMore();
    }

    // Asks for the next part once less than a chunk is left to draw, so a scroll rarely waits.
    function askMore() {
        if (VIEW_KIND === 0 && more && !asking && host && typeof host.morePart === "function" &&
            flat.length - drawn < CHUNK) {
            asking = true;
            host.morePart(load, parts);
        }
    }

    function nearEnd() {
        return window.innerHeight + window.scrollY >= document.body.scrollHeight - MARGIN;
    }

    // Draws chunks until the page reaches MARGIN past the bottom of the window, or all is drawn.
    function fillDown() {
        do {
            drawMore(0);
        } while (drawn < flat.length && nearEnd());
        trimTop();
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
            if (nearEnd()) {
                fillDown();
            }
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

    // One conversation and drafts: flat[lo, hi) are drawn, in chunks (a div each, data-from and
    // data-to). Chunks are added above or below as the user scrolls, and once more than KEEP_MESSAGES
    // are drawn, chunks far off on the other side are let go; they are drawn again when the user
    // comes back.
    var lo = 0;
    var hi = 0;
    var KEEP_MESSAGES = 300;

    function chunkHtml(start, end, provisional) {
        var html = ['<div class="chunk" data-from="' + start + '" data-to="' + end + '">'];
        if (provisional && !flat[start].first) {
            html.push(dayHtml(flat[start].day, true));
        }
        for (var i = start; i < end; ++i) {
            if (flat[i].first) {
                html.push(dayHtml(flat[i].day, false));
            }
            html.push(messageHtml(i));
        }
        html.push("</div>");
        return html.join("");
    }

    // Draws the chunk above and keeps what the user looks at in place. A chunk that starts inside a
    // day shows that day's label until the rest of the day is drawn above it.
    function drawUp() {
        if (lo <= 0) {
            return;
        }
        var view = document.getElementById("view");
        var start = Math.max(0, lo - CHUNK);
        var seam = view.querySelector(".day.provisional");
        if (seam) {
            seam.parentNode.removeChild(seam);
        }
        var height = document.documentElement.scrollHeight;
        view.insertAdjacentHTML("afterbegin", chunkHtml(start, lo, true));
        window.scrollBy(0, document.documentElement.scrollHeight - height);
        lo = start;
    }

    function drawDown() {
        if (hi >= flat.length) {
            return;
        }
        var end = Math.min(flat.length, hi + CHUNK);
        document.getElementById("view").insertAdjacentHTML("beforeend", chunkHtml(hi, end, lo === hi));
        hi = end;
    }

    // Lets go of the top chunk once it is well above the window, scrolling by what it took.
    function letGoAbove() {
        while (hi - lo > KEEP_MESSAGES) {
            var first = document.getElementById("view").firstElementChild;
            var next = first && first.nextElementSibling;
            var anchor = next && next.querySelector(".msg");
            if (!anchor || first.getBoundingClientRect().bottom > -MARGIN) {
                return;
            }
            var before = anchor.getBoundingClientRect().top;
            // Scrolled up first, so the page is never shorter than the window's place in it.
            window.scrollBy(0, first.offsetTop - next.offsetTop);
            first.parentNode.removeChild(first);
            lo = +first.getAttribute("data-to");
            if (!flat[lo].first) {
                next.insertAdjacentHTML("afterbegin", dayHtml(flat[lo].day, true));
            }
            window.scrollBy(0, anchor.getBoundingClientRect().top - before);
        }
    }

    // Lets go of the bottom chunk once it is well below the window; nothing on screen moves.
    function letGoBelow() {
        while (hi - lo > KEEP_MESSAGES) {
            var view = document.getElementById("view");
            var last = view.lastElementChild;
            if (!last || last === view.firstElementChild ||
                last.getBoundingClientRect().top < window.innerHeight + MARGIN) {
                return;
            }
            view.removeChild(last);
            hi = +last.getAttribute("data-from");
        }
    }

    function render() {
        var view = document.getElementById("view");
        collect();
        if (!flat.length) {
            view.innerHTML = '<div class="empty">' + (VIEW_KIND === 2 ? "草稿箱中没有信息" : "没有信息") + "</div>";
        } else if (VIEW_KIND === 1) {
            lo = hi = flat.length; // newest at the bottom
            do {
                drawUp();
            } while (lo > 0 && document.documentElement.scrollHeight < window.innerHeight + MARGIN);
            window.scrollTo(0, document.documentElement.scrollHeight);
        } else if (VIEW_KIND === 2) {
            do {
                drawDown();
            } while (hi < flat.length && nearEnd());
        } else {
            view.innerHTML = '<div id="spacer"></div>';
            fillDown();
        }
        outputOver = 1;
    }

    window.addEventListener("scroll", function () {
        if (VIEW_KIND !== 0) {
            if (window.scrollY < MARGIN && lo > 0) {
                drawUp();
                letGoBelow();
            } else if (nearEnd() && hi < flat.length) {
                drawDown();
                letGoAbove();
            }
        } else if (nearEnd()) {
            fillDown();
        } else if (firstTel > 0) {
            restoreTop();
        }
    });

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
